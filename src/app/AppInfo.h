#pragma once

#include <QString>

// The version this build reports (CMake project version).
QString appVersion();
