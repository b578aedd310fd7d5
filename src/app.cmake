# The program itself: the windows, their resources and the start-up, on top of the
# engine. Included by src/CMakeLists.txt for Windows builds.

# The About box and the version record read res/version.h; the project version must
# say the same, since the release archive is named after it.
file(STRINGS ${PROJECT_SOURCE_DIR}/res/version.h tarvo_version_line
     REGEX "^#define TARVO_VERSION_TEXT ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" tarvo_version_text "${tarvo_version_line}")
if(NOT tarvo_version_text STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "res/version.h says ${tarvo_version_text}, the project says ${PROJECT_VERSION}")
endif()

# Resources as an object library: a static library would drop them, since no symbol
# refers to them. Tests link the same objects to run the real templates.
add_library(tarvo_resources OBJECT ${PROJECT_SOURCE_DIR}/res/TarvoSamples.rc)
target_include_directories(tarvo_resources PRIVATE ${PROJECT_SOURCE_DIR}/res)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/res/TarvoSamples.rc APPEND PROPERTY
             OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/res/TarvoSamples.ico
                            ${PROJECT_SOURCE_DIR}/res/resource.h ${PROJECT_SOURCE_DIR}/res/version.h)

# The window code, shared by the program and the window tests.
add_library(tarvo_window STATIC dialog.cpp)
target_include_directories(tarvo_window PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/res)
target_link_libraries(tarvo_window PUBLIC tarvo_engine PRIVATE tarvo_warnings)

add_executable(TarvoSamples WIN32 main.cpp $<TARGET_OBJECTS:tarvo_resources>)
target_link_libraries(TarvoSamples PRIVATE tarvo_window tarvo_warnings)
if(TARGET snesbrr)
  # The program is useless without its encoder beside it.
  add_dependencies(TarvoSamples snesbrr)
endif()
