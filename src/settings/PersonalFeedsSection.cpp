#include "settings/PersonalFeedsSection.h"

PersonalFeedsSection::PersonalFeedsSection(QWidget* parent, PersonalFeedStore*)
    : QWidget(parent)
{
}
