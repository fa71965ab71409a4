// Identifiers of the resources that the code names, shared by the resource
// scripts and the code.
#pragma once

// The registry script that registers the band's class.
#define IDR_TANDREL_REGISTRY 101


#define IDR_REFRESHMENU 201
#define IDD_ABOUTBOX 202
#define IDD_REFRESHSETTINGS 203
#define IDC_INTERVAL 202

#define ID_REFRESH_10SEC 32768
#define ID_REFRESH_15SEC 32770
#define ID_REFRESH_30SEC 32771
#define ID_REFRESH_1MIN 32772
#define ID_REFRESH_2MIN 32773
#define ID_REFRESH_5MIN 32774
#define ID_REFRESH_10MIN 32775
#define ID_REFRESH_CUSTOM 32776
#define ID_REFRESH_20SEC 32777
#define ID_REFRESH_OFF 32778
#define ID_ABOUT 32779
#define ID_REMEMBER_SETTINGS 32784
