// Resource ids shared by TarvoSamples.rc and the window code. The numbers are fixed:
// the dialog templates, the menu and the icon group are found by them.
#pragma once

// Dialog templates.
#define IDD_MAIN 1000   // main window
#define IDD_NEWROM 1001 // bank placement ("New ROM")
#define IDD_LOOP 1002   // loop of a WAV file for Insert Looped ("Loop")

#define IDR_MENU 10000
#define IDR_ACCEL 10001 // Ctrl+O, Ctrl+S, Ctrl+E of the menu
#define IDI_APP 9000 // icon group: 16 x 16 at 8, 24 and 32 bits per pixel

// Main window controls.
#define IDC_SAMPLE_GROUP 1001
#define IDC_SLOTS 1002 // drop-down list, entry i = slot i
#define IDC_SLOTS_LABEL 1003
#define IDC_START_LABEL 1004
#define IDC_LOOP_LABEL 1005
#define IDC_START 1006 // start audio address of the selected slot
#define IDC_FREE_LABEL 1007
#define IDC_OPERATE_GROUP 1008
#define IDC_PLAY 1009
#define IDC_INSERT_LOOPED 1010
#define IDC_INSERT 1011
#define IDC_LOOP 1012  // loop audio address of the selected slot
#define IDC_FREE 1013  // free bytes of the sample bank
#define IDC_PITCH 1014 // pitch for Play, hexadecimal, 0x1000 = as recorded
#define IDC_PITCH_LABEL 1015
#define IDC_PLAYBACK_GROUP 1016
#define IDC_DELETE 1017
#define IDC_SLOT_SIZE_LABEL 1018
#define IDC_SLOT_SIZE 1019 // bytes of the selected slot's sample, to the next start
#define IDC_MAP 1020      // owner-drawn bank map, audio 0x8100-0xFFE1 to scale
#define IDC_MAP_TEXT 1021 // names the selected slot, its start and its size

// Bank placement dialog controls.
#define IDC_NEWROM_TEXT 1002
#define IDC_NEWROM_OFFSET 1003 // file offset of the new bank, hexadecimal
#define IDC_NEWROM_LABEL 1004
#define IDC_NEWROM_OK 1005

// Loop dialog controls; the numbers are decimal sample frames, the end exclusive.
#define IDC_LOOPDLG_LENGTH 1301 // "Length: N samples"
#define IDC_LOOPDLG_START 1302
#define IDC_LOOPDLG_END 1303
#define IDC_LOOPDLG_START_LABEL 1304
#define IDC_LOOPDLG_END_LABEL 1305
#define IDC_LOOPDLG_RATE 1306       // Hz to encode at, decimal, 1000-32000
#define IDC_LOOPDLG_RATE_LABEL 1307 // "Rate:"
#define IDC_LOOPDLG_SIZE 1308       // "Size: %X bytes, %X free": the estimate against the bank
#define IDC_LOOPDLG_FIT 1309        // "Fit": the highest rate that fits the free space

// Menu commands.
#define IDM_OPEN 10002
#define IDM_SAVE 10003
#define IDM_EXIT 10005
#define IDM_EXPORT 10007 // "Export Sample...": the selected used slot to .brr or .wav
#define IDM_ABOUT 10006
