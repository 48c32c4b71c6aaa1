// Resource numbers of the install assistant (shared by the resource script
// and the code; plain #defines so that windres reads them too).
#pragma once

#define IDI_MAINICON 128
#define IDD_MAINDLG 129
#define IDB_PICTURE 205
#define IDB_DRAGIMAGE 206
// The same artwork at 150 % (+100) and 200 % (+200).
#define IDB_PICTURE_150 305
#define IDB_DRAGIMAGE_150 306
#define IDB_PICTURE_200 405
#define IDB_DRAGIMAGE_200 406

#define IDC_PICTURE 1011
#define IDC_HINT 1012
#define IDC_NOTE 1013
#define IDC_UNPACKED_HINT 1014
#define IDC_OPEN_FOLDER 1015
#define IDC_LINK 1200

#define IDS_PACKAGE_MISSING 301
#define IDS_BROWSER_MISSING 302
#define IDS_FOLDER_MISSING 303
