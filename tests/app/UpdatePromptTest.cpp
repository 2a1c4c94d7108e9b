#include "app/UpdatePrompt.h"
#include "platform/Clipboard.h"
#include "platform/UrlOpener.h"

#include "FakeTime.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class TestOpener final : public UrlOpener {
public:
    explicit TestOpener(bool succeed, const int& quits) : m_succeed(succeed), m_quits(quits) {}
    bool open(const QUrl& url) override
    {
        opened << url;
        quitsWhenOpened = m_quits;
        return m_succeed;
    }
    QList<QUrl> opened;
    int quitsWhenOpened = -1;

private:
    bool m_succeed;
    const int& m_quits;
};

// Runs `act` on the next modal dialog once it is on screen.
void onNextModal(std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        }
    });
    poll->start(0);
}

void clickButton(QWidget* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    qobject_cast<QDialog*>(dialog)->reject();
}

TEST(UpdatePrompt, AsksWithTheReleaseVersionAndBothAnswers)
{
    const std::unique_ptr<QMessageBox> alert = UpdatePrompt::makeAlert("3.0.1 <b>beta</b>");
    EXPECT_EQ(alert->text(), "Update to 3.0.1 <b>beta</b>");
    EXPECT_EQ(alert->textFormat(), Qt::PlainText);
    EXPECT_EQ(alert->informativeText(),
              "The download will open in your browser.\n\nTidewire will quit so the new version can replace it — an "
              "app cannot be installed over itself while it is running. Drag the new copy to your Applications "
              "folder, then open it.");
    QStringList buttons;
    for (QAbstractButton* button : alert->buttons())
        buttons << button->text();
    EXPECT_EQ(buttons, (QStringList{"Download and Quit", "Not Now"}));
    EXPECT_EQ(alert->defaultButton()->text(), "Download and Quit");
    EXPECT_EQ(alert->escapeButton()->text(), "Not Now");
}

TEST(UpdatePrompt, DownloadOpensFirstAndQuitsLaterUnlessTheBrowserCannotOpen)
{
    const QUrl url("https://get.example/Tidewire-2.4.AppImage");
    struct Case {
        const char* name;
        QString answer;
        bool browserOpens;
        int opens;
        bool quits;
        bool showsAddress;
    };
    for (const Case& c : {Case{"not now", "Not Now", true, 0, false, false},
                          Case{"download", "Download and Quit", true, 1, true, false},
                          Case{"no browser", "Download and Quit", false, 1, false, true}}) {
        SCOPED_TRACE(c.name);
        FakeTime time;
        FakeClipboard clipboard;
        int quits = 0;
        TestOpener opener(c.browserOpens, quits);
        UpdatePrompt prompt({opener, time, clipboard, [&quits] { ++quits; }});

        QString shownAddress;
        onNextModal([&](QWidget* alert) {
            clickButton(alert, c.answer);
            if (!c.showsAddress)
                return;
            onNextModal([&](QWidget* fallback) {
                const QList<QLineEdit*> fields = fallback->findChildren<QLineEdit*>();
                if (fields.size() == 1 && fields.first()->isReadOnly())
                    shownAddress = fields.first()->text();
                clickButton(fallback, "Copy Link");
                qobject_cast<QDialog*>(fallback)->reject();
            });
        });
        prompt.present("2.4", url);

        EXPECT_EQ(opener.opened.size(), c.opens);
        if (c.opens) {
            EXPECT_EQ(opener.quitsWhenOpened, 0) << "the browser first";
        }
        EXPECT_EQ(quits, 0);
        time.advance(1499ms);
        EXPECT_EQ(quits, 0);
        time.advance(1ms);
        EXPECT_EQ(quits, c.quits ? 1 : 0);
        time.advance(10s);
        EXPECT_EQ(quits, c.quits ? 1 : 0);
        EXPECT_EQ(shownAddress, c.showsAddress ? url.toString() : QString());
        EXPECT_EQ(clipboard.text(), c.showsAddress ? url.toString() : QString());
    }
}

} // namespace
