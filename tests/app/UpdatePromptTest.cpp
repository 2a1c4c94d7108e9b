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

// Runs `act` on the next modal dialog once it is on screen.
void onNextModal(std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            act(modal);
        }
    });
    poll->start(0);
}

QStringList buttonTexts(QWidget* dialog)
{
    QStringList texts;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        texts << button->text();
    return texts;
}

void click(QWidget* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text)
            return button->click();
    ADD_FAILURE() << "no button " << text.toStdString();
    qobject_cast<QDialog*>(dialog)->reject();
}

TEST(UpdatePrompt, NotNowKeepsRunningDownloadOpensThenQuitsAndNoBrowserShowsTheAddress)
{
    const QUrl url("https://get.example/Tidewire-2.4.AppImage");
    struct Case {
        const char* answer;
        bool browserOpens;
        bool quits;
        bool showsAddress;
    };
    for (const Case& c : {Case{"Not Now", true, false, false}, Case{"Download and Quit", true, true, false},
                          Case{"Download and Quit", false, false, true}}) {
        SCOPED_TRACE(std::string(c.answer) + (c.browserOpens ? "" : ", no browser"));
        FakeTime time;
        FakeClipboard clipboard;
        int quits = 0;
        struct Opener final : UrlOpener {
            bool open(const QUrl& u) override
            {
                opened << u;
                quitsThen = *quits;
                return succeed;
            }
            bool succeed;
            const int* quits;
            QList<QUrl> opened;
            int quitsThen = -1;
        } opener;
        opener.succeed = c.browserOpens;
        opener.quits = &quits;
        UpdatePrompt prompt({opener, time, clipboard, [&quits] { ++quits; }});

        QString alertText;
        QStringList alertButtons;
        QString shownAddress;
        onNextModal([&](QWidget* alert) {
            alertText = static_cast<QMessageBox*>(alert)->text() + "|" + static_cast<QMessageBox*>(alert)->informativeText();
            alertButtons = buttonTexts(alert);
            click(alert, c.answer);
            if (c.showsAddress) {
                onNextModal([&](QWidget* fallback) {
                    const QList<QLineEdit*> fields = fallback->findChildren<QLineEdit*>();
                    shownAddress = fields.size() == 1 && fields.first()->isReadOnly() ? fields.first()->text() : "";
                    click(fallback, "Copy Link");
                    qobject_cast<QDialog*>(fallback)->reject();
                });
            }
        });
        prompt.present("2.4 <b>beta</b>", url);

        EXPECT_EQ(alertText, "Update to 2.4 <b>beta</b>|The download will open in your browser.\n\nTidewire will quit so "
                             "the new version can replace it — an app cannot be installed over itself while it is "
                             "running. Drag the new copy to your Applications folder, then open it.");
        EXPECT_EQ(alertButtons, (QStringList{"Download and Quit", "Not Now"}));
        EXPECT_EQ(opener.opened, c.answer == QString("Not Now") ? QList<QUrl>{} : QList<QUrl>{url});
        EXPECT_EQ(opener.quitsThen, opener.opened.isEmpty() ? -1 : 0) << "the browser first";
        time.advance(1499ms);
        EXPECT_EQ(quits, 0);
        time.advance(10s);
        EXPECT_EQ(quits, c.quits ? 1 : 0);
        EXPECT_EQ(shownAddress, c.showsAddress ? url.toString() : QString());
        EXPECT_EQ(clipboard.text(), shownAddress);
    }
}

} // namespace
