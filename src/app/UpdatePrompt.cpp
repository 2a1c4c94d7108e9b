#include "app/UpdatePrompt.h"

#include "app/DialogActivation.h"
#include "platform/session/Clipboard.h"
#include "platform/base/Clock.h"
#include "platform/base/Logging.h"
#include "widgets/PlainText.h"
#include "platform/session/UrlOpener.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The prompt or fallback on screen now, if any.
QPointer<QDialog> openPrompt;

// Shows `dialog` as the prompt on screen, and runs `answered` once it is
// closed, by whatever road.
void showPrompt(QDialog* dialog, std::function<void()> answered = {})
{
    openPrompt = dialog;
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answered = std::move(answered)] {
        if (openPrompt == dialog)
            openPrompt = nullptr;
        if (answered)
            answered();
    });
    openModal(*dialog);
}

} // namespace

UpdatePrompt::UpdatePrompt(Services services) : m_services(std::move(services)) {}

std::unique_ptr<QMessageBox> UpdatePrompt::makeAlert(const QString& version)
{
    auto alert = std::make_unique<QMessageBox>();
    alert->setWindowTitle(QStringLiteral("Tidewire"));
    alert->setIcon(QMessageBox::Information);
    // The version comes from the network: never markup.
    PlainText::setMessage(
        *alert, QStringLiteral("Update to ") + version,
        QStringLiteral("The download will open in your browser.\n\nTidewire will quit so the new version can "
                       "replace it — an app cannot be installed over itself while it is running. Replace the old "
                       "copy with the new one, then open it."));
    QPushButton* download = alert->addButton(QStringLiteral("Download and Quit"), QMessageBox::AcceptRole);
    QPushButton* notNow = alert->addButton(QStringLiteral("Not Now"), QMessageBox::RejectRole);
    alert->setDefaultButton(download);
    alert->setEscapeButton(notNow);
    return alert;
}

std::unique_ptr<QDialog> UpdatePrompt::makeFallback(const QUrl& downloadUrl)
{
    auto dialog = std::make_unique<QDialog>();
    dialog->setWindowTitle(QStringLiteral("Tidewire"));
    auto* layout = new QVBoxLayout(dialog.get());
    auto* message = new QLabel(QStringLiteral("Your browser could not be opened. Tidewire keeps running; open "
                                              "this address yourself to download the update:"),
                               dialog.get());
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    layout->addWidget(message);

    const QString address = downloadUrl.toString(QUrl::FullyEncoded);
    auto* field = new QLineEdit(address, dialog.get());
    field->setReadOnly(true);
    // Wide enough for a usual address, which reads from its start.
    field->setMinimumWidth(std::min(field->fontMetrics().horizontalAdvance(address) + 24, 560));
    field->setCursorPosition(0);
    layout->addWidget(field);

    auto* buttons = new QDialogButtonBox(dialog.get());
    QPushButton* copy = buttons->addButton(QStringLiteral("Copy Link"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    Clipboard* clipboard = &m_services.clipboard;
    QObject::connect(copy, &QPushButton::clicked, dialog.get(), [clipboard, address] { clipboard->setText(address); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
    layout->addWidget(buttons);
    return dialog;
}

void UpdatePrompt::present(const QString& version, const QUrl& downloadUrl)
{
    if (openPrompt) {
        activateWhenShown(*openPrompt);
        return;
    }
    QMessageBox* alert = makeAlert(version).release();
    // Answered after this returns: the prompt keeps its own copy of what it
    // needs then.
    showPrompt(alert, [alert, services = m_services, downloadUrl] {
        if (alert->buttonRole(alert->clickedButton()) == QMessageBox::AcceptRole)
            UpdatePrompt(services).download(downloadUrl);
    });
}

void UpdatePrompt::download(const QUrl& downloadUrl)
{
    if (m_services.opener.open(downloadUrl)) {
        // Quit on the normal road (settings written) once the browser has it.
        std::function<void()> quit = m_services.quit;
        m_services.scheduler.schedule(QuitDelay, [quit] { quit(); });
        return;
    }
    // Quitting now would leave the user with neither the download nor the
    // app: keep running and show the address instead.
    qCInfo(lcLaunch, "the update download could not be opened; showing its address");
    showPrompt(makeFallback(downloadUrl).release());
}
