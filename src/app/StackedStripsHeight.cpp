#include "app/StackedStripsHeight.h"

#include "ticker/StripConfig.h"

int stackedStripsHeight(const Defaults& defaults)
{
    return StripConfig::totalHeight(defaults);
}
