#pragma once

// Resource identifiers of the installer's executable. Included by Resources.rc and by the C++ code.
// The two skin pictures are named resources: "WINDOW1.BMP" (normal) and "WINDOW2.BMP" (highlighted).

#define IDD_SETTINGS 101      // the settings dialog
#define IDR_HAND_CURSOR 102   // pointing hand over the skin controls
#define IDI_APP 106           // the program's icon group

// Controls of the settings dialog (IDOK is its "返回" button).
#define IDC_GEFORCE2MX 1002   // GeForce2MX compatibility check box, hidden and disabled
#define IDC_OPEN_SAVE 1004    // "打开", then "保存"
#define IDC_CANCEL_SAVE 1005  // "取消"
#define IDC_NAME1 1006        // custom officer name 1
#define IDC_SAVE_PATH 1007    // path of the open save file, read-only
#define IDC_NAME2 1008        // custom officer name 2
#define IDC_CHOOSE_FONT 1012  // "选择字体"
