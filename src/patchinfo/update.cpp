// The one instance of Update, built during static initialisation.
#include "update.h"

Update PatchInfo;
