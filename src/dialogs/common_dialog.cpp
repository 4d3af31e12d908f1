#include "dialogs/common_dialog.h"
