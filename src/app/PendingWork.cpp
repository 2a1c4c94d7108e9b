#include "app/PendingWork.h"

#include "platform/CacheFiles.h"
#include "platform/Defaults.h"
#include "platform/SecretStore.h"
#include "platform/TestPause.h"

void finishPendingWork(Defaults& defaults, SecretStore& secrets, const std::function<void()>& letGo,
                       std::chrono::milliseconds keyringWait)
{
    defaults.flush();
    defaults.caches().flush();
    if (letGo)
        letGo();
    testPause("keyring");
    secrets.finishWrites(keyringWait);
}
