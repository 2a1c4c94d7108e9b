#include "app/PendingWork.h"

#include "platform/storage/CacheFiles.h"
#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"
#include "platform/base/TestPause.h"

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
