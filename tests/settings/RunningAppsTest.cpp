// "Add a running app" in the General tab: the list offers the windows open
// when it opens, not those open when the tab was shown.
#include "SettingsHarness.h"

#include "platform/x11/FrontAppMonitor.h"
#include "platform/x11/HiddenAppsController.h"
#include "settings/GeneralTab.h"
#include "settings/RunningAppsPicker.h"

#include <QListWidget>

namespace {

using RunningApp = FrontAppMonitor::RunningApp;

// The desktop's windows as the test opens and closes them.
class OpenWindows final : public FrontAppMonitor {
public:
    std::optional<QString> frontApp() const override { return QString(); }
    QList<RunningApp> runningApps() const override { return open; }
    QList<RunningApp> open;
};

// Each entry as "text => class", joined by " | ".
std::string entries(const QComboBox& box)
{
    QStringList shown;
    for (int i = 0; i < box.count(); ++i)
        shown << box.itemText(i) + QStringLiteral(" => ") + box.itemData(i).toString();
    return shown.join(QStringLiteral(" | ")).toStdString();
}

using RunningAppsTest = SettingsTest;

TEST_F(RunningAppsTest, TheListOffersTheWindowsOpenWhenItOpens)
{
    const RunningApp editor{QStringLiteral("gedit"), QStringLiteral("Notes")};
    const RunningApp clock{QStringLiteral("XClock"), QString()};
    const RunningApp slides{QStringLiteral("libreoffice-impress"), QStringLiteral("Quarterly slides")};
    const RunningApp renamedSlides{QStringLiteral("libreoffice-impress"), QStringLiteral("Yearly slides")};
    const QString choose = QStringLiteral("Choose… => ");
    struct Case {
        const char* name;
        QList<RunningApp> whenShown, whenOpened;
        QStringList offered;
    };
    const Case cases[] = {
        {"started after the tab was shown", {editor}, {editor, clock},
         {choose, "gedit — Notes => gedit", "XClock => XClock"}},
        {"the first one, with none before", {}, {clock}, {choose, "XClock => XClock"}},
        {"closed after the tab was shown", {editor, slides}, {slides},
         {choose, "libreoffice-impress — Quarterly slides => libreoffice-impress"}},
        {"the last one closed", {clock}, {}, {choose}},
        {"retitled after the tab was shown", {slides}, {renamedSlides},
         {choose, "libreoffice-impress — Yearly slides => libreoffice-impress"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenWindows windows;
        windows.open = c.whenShown;
        HiddenAppsController hidden(*defaults, windows);
        GeneralTab tab(*store, nullptr, defaults.get(), &hidden);
        tab.show();
        QComboBox* picker = tab.runningPicker();

        windows.open = c.whenOpened;
        picker->showPopup();
        EXPECT_EQ(entries(*picker), c.offered.join(QStringLiteral(" | ")).toStdString());
        EXPECT_EQ(picker->currentIndex(), 0);
        picker->hidePopup();
    }
}

// What was started while the tab was open can be picked, and is kept.
TEST_F(RunningAppsTest, AnAppStartedWhileTheTabIsOpenCanBePicked)
{
    OpenWindows windows;
    windows.open = {{QStringLiteral("gedit"), QStringLiteral("Notes")}};
    HiddenAppsController hidden(*defaults, windows);
    GeneralTab tab(*store, nullptr, defaults.get(), &hidden);
    tab.show();
    QComboBox* picker = tab.runningPicker();

    windows.open.append({QStringLiteral("XClock"), QString()});
    picker->showPopup();
    choose(picker, QStringLiteral("XClock"));
    picker->hidePopup();
    EXPECT_EQ(hidden.bundleIDs(), QStringList{QStringLiteral("XClock")});
    EXPECT_EQ(defaults->stringList(QStringLiteral("hiddenForBundleIDs")), QStringList{QStringLiteral("XClock")});
    ASSERT_EQ(tab.hiddenList()->count(), 1);
    EXPECT_EQ(tab.hiddenList()->item(0)->text(), QStringLiteral("XClock"));
    EXPECT_EQ(picker->currentText(), QStringLiteral("Choose…")) << "ready for the next pick";
}

} // namespace
