/* Resource numbers of the Windows executables, shared by vantor.rc and the
   code that loads them. The settings dialog's control ids come from
   settings/dialog102_ids.h. */
#ifndef VANTOR_WIN32_RESOURCE_IDS_H
#define VANTOR_WIN32_RESOURCE_IDS_H

#include "settings/dialog102_ids.h"

/* The screensaver's name as the display settings list it (string 1). */
#define VANTOR_IDS_DESCRIPTION 1
#define VANTOR_IDI_ICON 128
/* The resource archive, stored as raw data. */
#define VANTOR_IDR_ARCHIVE 144
/* The preview picture (160 x 120, 8 bits per pixel). */
#define VANTOR_IDB_PREVIEW 146
/* Group boxes and lines no code refers to. */
#define VANTOR_IDC_UNNUMBERED (-1)

#endif
