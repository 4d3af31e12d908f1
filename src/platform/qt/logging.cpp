#include "platform/qt/logging.h"

Q_LOGGING_CATEGORY(lcArtNet, "vantor.artnet", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWidget, "vantor.widget", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWindow, "vantor.window", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlugin, "vantor.plugin", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSacn, "vantor.sacn", QtInfoMsg)
