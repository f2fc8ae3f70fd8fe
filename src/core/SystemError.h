#pragma once

#include <QString>

namespace runel {

// The system's description of an errno value ("No such file or directory"). Safe on any
// thread, unlike strerror, whose buffer another thread may overwrite.
QString systemErrorText(int error);

} // namespace runel
