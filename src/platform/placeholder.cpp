// Placeholder until the Qt platform lands.
#include <QtGlobal>
