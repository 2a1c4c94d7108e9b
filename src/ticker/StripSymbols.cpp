#include "ticker/StripSymbols.h"

#include <QtGlobal>

static void initStripResources()
{
    Q_INIT_RESOURCE(strip);
}

namespace StripSymbols {

void ensureLoaded()
{
    static const bool done = [] {
        initStripResources();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace StripSymbols
