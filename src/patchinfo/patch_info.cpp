// The one instance of Update, built during static initialisation.
#include "src/patchinfo/patch_info.h"

Update PatchInfo;
