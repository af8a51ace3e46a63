// Resource identifiers shared by velmora.rc and the Windows host. The system
// knows a screen saver's icon, dialog and description by these numbers.
#pragma once

#define VELMORA_ICON_GROUP 100
#define VELMORA_ABOUT_BITMAP 118
#define VELMORA_ABOUT_DIALOG 2003
#define VELMORA_DESCRIPTION 1
#define VELMORA_ABOUT_PICTURE 1001
#define VELMORA_ABOUT_TEXT 1002
