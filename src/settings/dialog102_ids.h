/* The control ids of settings dialog template 102, as plain macros so that
   the resource compiler reads the same list as the C++ code
   (settings/control_surface.h names them for the dialog logic). */
#ifndef VANTOR_SETTINGS_DIALOG102_IDS_H
#define VANTOR_SETTINGS_DIALOG102_IDS_H

#define VANTOR_IDD_SETTINGS 102

/* Buttons. */
#define VANTOR_IDC_OK 1
#define VANTOR_IDC_CANCEL 2
#define VANTOR_IDC_RESTORE_DEFAULTS 4
#define VANTOR_IDC_MORE_INFO 1015
/* The frame that holds the picture, and the about text. */
#define VANTOR_IDC_PICTURE 1006
#define VANTOR_IDC_ABOUT 1017
/* The display-mode list. */
#define VANTOR_IDC_MODE_LIST 1008
/* Check boxes. */
#define VANTOR_IDC_DESKTOP 1010
#define VANTOR_IDC_FOG 1011
#define VANTOR_IDC_FPS 1012
#define VANTOR_IDC_FLARE 1029
#define VANTOR_IDC_MOTION_BLUR 1031
#define VANTOR_IDC_CLASSIC_CAMERA 1037
#define VANTOR_IDC_ADVANCED_RENDERING 1038
#define VANTOR_IDC_GAMMA 1040
#define VANTOR_IDC_SOUND 1042
/* Sliders. */
#define VANTOR_IDC_VOLUME 1021
#define VANTOR_IDC_VELOCITY 1030
#define VANTOR_IDC_MOTION_BLUR_QUALITY 1032
#define VANTOR_IDC_MOTION_BLUR_SAMPLES 1033
#define VANTOR_IDC_BRIGHTNESS 1041
/* Labels. */
#define VANTOR_IDC_VOLUME_LABEL 1027
#define VANTOR_IDC_VELOCITY_LABEL 1034
#define VANTOR_IDC_QUALITY_LABEL 1035
#define VANTOR_IDC_SAMPLES_LABEL 1036
#define VANTOR_IDC_BRIGHTNESS_LABEL 1045

#endif
