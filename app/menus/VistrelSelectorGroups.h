#pragma once

// The application's seven selector groups. The first four are restored and saved by the main
// controller, the three save defaults by the grab controller (file type, folder, creator).
#include "app/menus/NSUISelectorGroup.h"

extern const tagNSUISelectorGroup GrabberSizeGroup;
extern const tagNSUISelectorGroup GrabberConstrainGroup;
extern const tagNSUISelectorGroup GrabberToggleGroup;
extern const tagNSUISelectorGroup GrabberSaveGroup;
extern const tagNSUISelectorGroup DefaultFileTypeSelectorGroup;
extern const tagNSUISelectorGroup DefaultFolderSelectorGroup;
extern const tagNSUISelectorGroup DefaultCreatorSelectorGroup;
