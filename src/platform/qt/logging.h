#pragma once

#include <QLoggingCategory>

// Diagnostic output of the plug-in; debug lines show only when a user enables them with QT_LOGGING_RULES.
Q_DECLARE_LOGGING_CATEGORY(lcArtNet)
Q_DECLARE_LOGGING_CATEGORY(lcWidget)
Q_DECLARE_LOGGING_CATEGORY(lcWindow)
Q_DECLARE_LOGGING_CATEGORY(lcPlugin)
Q_DECLARE_LOGGING_CATEGORY(lcSacn)
