#pragma once

#include <QStringList>

namespace talyx {

// Registers the program's own control classes with the control factory, by class
// name, in their fixed order. Returns the names registered.
QStringList RegisterControlClasses();

} // namespace talyx
