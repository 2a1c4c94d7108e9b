#include "app/MoveToApplications.h"

#include "app/DialogActivation.h"
#include "platform/session/AppLocation.h"
#include "platform/storage/Defaults.h"
#include "platform/session/LaunchAtLogin.h"
#include "widgets/PlainText.h"
#include "platform/storage/SettingsCatalogue.h"

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
    void offer(const QString& message, const QString& informative, std::function<void(bool)> answered) override
    {
        auto* box = new QMessageBox;
        box->setWindowTitle(QStringLiteral("Tidewire"));
        box->setIcon(QMessageBox::Question);
        PlainText::setMessage(*box, message, informative);
        QPushButton* move = box->addButton(QStringLiteral("Move to Applications"), QMessageBox::AcceptRole);
        box->addButton(QStringLiteral("Not Now"), QMessageBox::RejectRole);
        box->setDefaultButton(move);
        QObject::connect(box, &QDialog::finished, box,
                         [box, move, answered = std::move(answered)] { answered(box->clickedButton() == move); });
        openModal(*box);
    }

    void chooseFolder(const QString& start, std::function<void(std::optional<QString>)> chosen) override
    {
        auto* dialog = new QFileDialog(nullptr, QStringLiteral("Move Tidewire to Applications"), start);
        dialog->setFileMode(QFileDialog::Directory);
        // Read-only: no new folders from here.
        dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
        dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Move Here"));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            auto* note = new QLabel(QStringLiteral("Your Applications folder is selected. Click Move Here."));
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
        QObject::connect(dialog, &QDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
            const QStringList files = dialog->selectedFiles();
            if (result != QDialog::Accepted || files.isEmpty())
                chosen(std::nullopt);
            else
                chosen(files.constFirst());
        });
        openModal(*dialog);
    }

    void alert(const QString& message, const QString& informative, std::function<void()> closed) override
    {
        auto* box = new QMessageBox;
        box->setWindowTitle(QStringLiteral("Tidewire"));
        box->setIcon(QMessageBox::Warning);
        PlainText::setMessage(*box, message, informative);
        box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)] { closed(); });
        openModal(*box);
    }
};

} // namespace

MoveToApplications::Prompts& MoveToApplications::Prompts::dialogs()
{
    static DialogPrompts prompts;
    return prompts;
}

MoveToApplications::MoveToApplications(Services services)
    : m_services(std::make_shared<const Services>(std::move(services)))
{
}

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
    Defaults& defaults = m_services->defaults;
    if (!Settings::moveToApplicationsReassertLogin.read(defaults))
        return;
    defaults.remove(Settings::moveToApplicationsReassertLogin.key.toString());
    if (Settings::launchAtLogin.read(defaults)) {
        m_services->setLaunchAtLogin(false);
        m_services->setLaunchAtLogin(true);
    }
}

void MoveToApplications::offerIfNeeded(std::function<void(bool moved)> done)
{
    if (!done)
        done = [](bool) {};
    finishPendingMove();
    if (Settings::moveToApplicationsDeclined.read(m_services->defaults) || !m_services->appImage)
        return done(false);
    const QString path = *m_services->appImage;
    if (!AppLocation::shouldOffer(path, m_services->folders))
        return done(false);
    const QString informative =
        AppLocation::onRemovableMedia(path)
            ? QStringLiteral("Tidewire is running from removable media. Apps run from an image stop working when "
                             "it is ejected, and cannot launch at login or update. Moving takes a moment; Tidewire "
                             "reopens from Applications when it is done.")
            : QStringLiteral("Tidewire is running from %1. Moving it to Applications keeps launch at login and "
                             "updates working. Tidewire reopens from Applications when it is done.")
                  .arg(QFileInfo(path).dir().dirName());
    m_services->prompts.offer(QStringLiteral("Move Tidewire to your Applications folder?"), informative,
                              [self = *this, path, done](bool move) {
                                  if (move)
                                      return self.move(path, done);
                                  Settings::moveToApplicationsDeclined.write(self.m_services->defaults, true);
                                  done(false);
                              });
}

void MoveToApplications::move(const QString& appImage, Done done) const
{
    const QString applications = AppLocation::applicationsFolder(m_services->folders.home);
    // The chooser starts there, so it has to exist first; a failure shows
    // when the copy is made.
    QDir().mkpath(applications);
    m_services->prompts.chooseFolder(applications,
                                     [self = *this, appImage, done](const std::optional<QString>& folder) {
                                         self.copyInto(appImage, folder, done);
                                     });
}

void MoveToApplications::copyInto(const QString& appImage, const std::optional<QString>& folder, Done done) const
{
    if (!folder || folder->isEmpty())
        return done(false);
    const Result<QString> copied = AppLocation::copyInto(appImage, *folder);
    if (!copied) {
        m_services->prompts.alert(QStringLiteral("Couldn't move Tidewire"),
                                  copied.error().description
                                      + QStringLiteral("\n\nDrag Tidewire to your Applications folder in your file "
                                                       "manager instead, then open it from there."),
                                  [done] { done(false); });
        return;
    }
    Settings::moveToApplicationsReassertLogin.write(m_services->defaults, true);
    m_services->defaults.flush();
    const auto quit = [services = m_services, done] {
        services->quit();
        done(true);
    };
    if (const std::optional<QString> error = m_services->startDetached(*copied)) {
        m_services->prompts.alert(QStringLiteral("Tidewire was copied, but didn't reopen"),
                                  *error + QStringLiteral("\n\nOpen Tidewire from your Applications folder."), quit);
        return;
    }
    quit();
}
