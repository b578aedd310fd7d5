// The program's version, shown by the About box and stored in the VERSIONINFO resource.
// script/package names the release archive after TARVO_VERSION_TEXT, and the build
// refuses to configure when it disagrees with the project version in CMakeLists.txt.
#pragma once

#define TARVO_VERSION_MAJOR 1
#define TARVO_VERSION_MINOR 0
#define TARVO_VERSION_PATCH 0
#define TARVO_VERSION_TEXT "1.0.0"
#define TARVO_RELEASE_TEXT "December 2026"
