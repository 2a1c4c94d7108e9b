#include "app/TidewireApp.h"

#include "app/FirstFrameProbe.h"
#include "app/LoadingSplashView.h"
#include "app/RootContent.h"
#include "app/StartupDecisions.h"
#include "app/TickerWindowSetup.h"
#include "platform/net/ImageNetwork.h"
#include "platform/base/Logging.h"
#include "store/FeedStore.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/TickerAnimationLayer.h"
#include "ticker/TickerView.h"

namespace {

PhaseCase phaseCase(const FeedStore::AppPhase& phase)
{
    switch (phase.kind) {
    case FeedStore::AppPhase::Kind::Running:
        return PhaseCase::Running;
    case FeedStore::AppPhase::Kind::Error:
        return PhaseCase::Error;
    case FeedStore::AppPhase::Kind::Booting:
        break;
    }
    return PhaseCase::Booting;
}

constexpr int kSplashSize = 2;

// The main strip's scroller; for any other view the first scroller inside it
// (null when there is none).
MarqueeNSView* headlineScroller(QWidget* view)
{
    if (auto* ticker = qobject_cast<TickerView*>(view))
        return ticker->scrollerLayer()->marquee();
    return view->findChild<MarqueeNSView*>();
}

} // namespace

TidewireApp::TidewireApp(Services services, QObject* parent) : QObject(parent), m_services(std::move(services))
{
    m_store = std::make_unique<FeedStore>(FeedStore::Services{
        .defaults = m_services.defaults,
        .clock = m_services.clock,
        .scheduler = m_services.scheduler,
        .network = ImageNetwork::shared(),  // artwork look-ups share the image cache
        .personal = m_services.personal,
        .makePathMonitor = {},
        .apiBase = m_services.apiBase,
        .api = std::nullopt,
        .itunesBase = {},
        .runningVersion = {},
    });
    // Before any view reads "secondTickerEnabled".
    StartupDecisions::migrateLegacySecondTicker(m_services.defaults);

    auto makeStrip = [this]() -> QWidget* {
        return m_services.makeStrip ? m_services.makeStrip(*m_store) : makeSplash();
    };
    m_root = new RootContent([this] { return makeSplash(); }, std::move(makeStrip));
    // Start-up timing for the benchmarks: the first frame of the strip's
    // scroller that shows headlines.
    connect(m_root, &RootContent::viewReplaced, this, [this](QWidget* view) {
        if (m_root->phase() != PhaseCase::Running || m_firstStripFrameSeen)
            return;
        m_firstStripFrameSeen = true;
        MarqueeNSView* scroller = headlineScroller(view);
        FirstFrameProbe::watch(
            scroller, [scroller] { return scroller->cellCount() > 0; },
            [] { qCDebug(lcLaunch, "first headlines frame"); });
    });
    m_root->setPhase(phaseCase(m_store->phase()));
    connect(m_store.get(), &FeedStore::phaseChanged, m_root,
            [this] { m_root->setPhase(phaseCase(m_store->phase())); });
}

TidewireApp::~TidewireApp()
{
    delete m_root.data();  // a top-level window: no parent owns it
}

QWidget* TidewireApp::makeSplash()
{
    return new LoadingSplashView(kSplashSize, m_services.defaults, m_services.scheduler);
}

void TidewireApp::launch()
{
    if (m_services.installMenuBar)
        m_services.installMenuBar(*m_store);
    configureTickerWindow(m_root, m_services.windows);
    m_root->show();
    if (m_services.startIdleWatcher)
        m_services.startIdleWatcher(*m_store);
    m_store->start();
    if (!m_services.offerMove) {
        openSettingsAtLaunch();
        return;
    }
    m_services.offerMove([app = QPointer(this)](bool moved) {
        if (app && !moved)
            app->openSettingsAtLaunch();
    });
}

void TidewireApp::openSettingsAtLaunch()
{
    if (!m_services.openSettings)
        return;
    if (StartupDecisions::takeOpenSettingsAtLaunch(m_services.defaults))
        m_services.openSettings(*m_store);
}
