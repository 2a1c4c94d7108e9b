#include "app/MoveToApplications.h"

#include "app/DialogActivation.h"
#include "platform/AppLocation.h"
#include "platform/Defaults.h"
#include "platform/LaunchAtLogin.h"
#include "platform/PlainText.h"
#include "platform/SettingsCatalogue.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

namespace {


class DialogPrompts final : public MoveToApplications::Prompts {
public:
    bool offer(const QString& message, const QString& informative) override
    {
        QMessageBox box;
        box.setWindowTitle(QStringLiteral("Tidewire"));
        box.setIcon(QMessageBox::Question);
        PlainText::setMessage(box, message, informative);
        QPushButton* move = box.addButton(QStringLiteral("Move to Applications"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("Not Now"), QMessageBox::RejectRole);
        box.setDefaultButton(move);
        activateWhenShown(box);
        box.exec();
        return box.clickedButton() == move;
    }

    std::optional<QString> chooseFolder(const QString& start) override
    {
        QFileDialog dialog(nullptr, QStringLiteral("Move Tidewire to Applications"), start);
        dialog.setFileMode(QFileDialog::Directory);
        // Read-only: no new folders from here.
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Move Here"));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* note = new QLabel(QStringLiteral("Your Applications folder is selected. Click Move Here."));
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
        activateWhenShown(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }

    void alert(const QString& message, const QString& informative) override
    {
        QMessageBox box;
        box.setWindowTitle(QStringLiteral("Tidewire"));
        box.setIcon(QMessageBox::Warning);
        PlainText::setMessage(box, message, informative);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        activateWhenShown(box);
        box.exec();
    }
};

} // namespace

MoveToApplications::Prompts& MoveToApplications::Prompts::dialogs()
{
    static DialogPrompts prompts;
    return prompts;
}

MoveToApplications::MoveToApplications(Services services) : m_services(std::move(services)) {}

MoveToApplications MoveToApplications::system(Defaults& defaults, std::function<void()> beforeRelaunch)
{
    return MoveToApplications(Services{
        .defaults = defaults,
        .appImage = AppLocation::runningAppImage(),
        .folders = AppLocation::systemFolders(QDir::homePath()),
        .prompts = Prompts::dialogs(),
        .setLaunchAtLogin = [](bool on) { return LaunchAtLogin::shared().setEnabled(on); },
        .startDetached = [beforeRelaunch = std::move(beforeRelaunch)](
                             const QString& program) -> std::optional<QString> {
            if (beforeRelaunch)
                beforeRelaunch();
            QProcess process;
            process.setProgram(program);
            if (process.startDetached())
                return std::nullopt;
            return process.errorString();
        },
        .quit = [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); },
    });
}

void MoveToApplications::finishPendingMove()
{
    Defaults& defaults = m_services.defaults;
    if (!Settings::moveToApplicationsReassertLogin.read(defaults))
        return;
    defaults.remove(Settings::moveToApplicationsReassertLogin.key.toString());
    if (Settings::launchAtLogin.read(defaults)) {
        m_services.setLaunchAtLogin(false);
        m_services.setLaunchAtLogin(true);
    }
}

bool MoveToApplications::offerIfNeeded()
{
    finishPendingMove();
    if (Settings::moveToApplicationsDeclined.read(m_services.defaults) || !m_services.appImage)
        return false;
    const QString path = *m_services.appImage;
    if (!AppLocation::shouldOffer(path, m_services.folders))
        return false;
    const QString informative =
        AppLocation::onRemovableMedia(path)
            ? QStringLiteral("Tidewire is running from removable media. Apps run from an image stop working when "
                             "it is ejected, and cannot launch at login or update. Moving takes a moment; Tidewire "
                             "reopens from Applications when it is done.")
            : QStringLiteral("Tidewire is running from %1. Moving it to Applications keeps launch at login and "
                             "updates working. Tidewire reopens from Applications when it is done.")
                  .arg(QFileInfo(path).dir().dirName());
    if (!m_services.prompts.offer(QStringLiteral("Move Tidewire to your Applications folder?"), informative)) {
        Settings::moveToApplicationsDeclined.write(m_services.defaults, true);
        return false;
    }
    return move(path);
}

bool MoveToApplications::move(const QString& appImage)
{
    const QString applications = AppLocation::applicationsFolder(m_services.folders.home);
    // The chooser starts there, so it has to exist first; a failure shows
    // when the copy is made.
    QDir().mkpath(applications);
    const std::optional<QString> folder = m_services.prompts.chooseFolder(applications);
    if (!folder || folder->isEmpty())
        return false;
    const Result<QString> copied = AppLocation::copyInto(appImage, *folder);
    if (!copied) {
        m_services.prompts.alert(QStringLiteral("Couldn't move Tidewire"),
                                 copied.error().description
                                     + QStringLiteral("\n\nDrag Tidewire to your Applications folder in your file "
                                                      "manager instead, then open it from there."));
        return false;
    }
    Settings::moveToApplicationsReassertLogin.write(m_services.defaults, true);
    m_services.defaults.flush();
    if (const std::optional<QString> error = m_services.startDetached(*copied))
        m_services.prompts.alert(QStringLiteral("Tidewire was copied, but didn't reopen"),
                                 *error + QStringLiteral("\n\nOpen Tidewire from your Applications folder."));
    m_services.quit();
    return true;
}
