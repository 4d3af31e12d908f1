#include "platform/qt_file_dialog.h"
