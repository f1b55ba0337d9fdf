#pragma once

#include <QByteArray>

namespace zentavo::test {

// A CMYK ICC profile of a made-up press whose colours the plain ink formula does not give, made
// with Little CMS.
QByteArray pressProfile();

}  // namespace zentavo::test
