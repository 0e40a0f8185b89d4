#include "CredentialStore.h"

#include <QCoreApplication>

#include <qt6keychain/keychain.h>

namespace {

using Result = CredentialStore::Result;
using Status = CredentialStore::Status;

// Starts `job` and waits for it. The job is the keyring library's: it must
// never be deleted while it runs, so one that is left waiting deletes itself
// once it ends.
Result run(QKeychain::Job* job, const QString& key, const CredentialStore::StillWanted& stillWanted) {
    job->setKey(key);
    job->setAutoDelete(false);
    // A keyring that cannot be had is never replaced by a file.
    job->setInsecureFallback(false);
    bool done = false;
    {
        // Declared after `done`, so the connection is gone before it.
        QObject waiter;
        QObject::connect(job, &QKeychain::Job::finished, &waiter, [&done] { done = true; });
        job->start();
        // Asked once more after the last pass too: the caller may be gone by then.
        while (!stillWanted || stillWanted()) {
            if (done)
                break;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    if (stillWanted && !stillWanted()) {
        if (done)
            delete job;
        else
            job->setAutoDelete(true);
        return {Status::Abandoned, QString(), QString()};
    }
    Result result;
    switch (job->error()) {
    case QKeychain::NoError:
        result.status = Status::Ok;
        if (const auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(job))
            result.password = read->textData();
        break;
    case QKeychain::EntryNotFound:
        result.status = Status::NotFound;
        break;
    default:
        // No backend, a bus without a Secret Service, a locked keyring whose
        // unlock was declined: all mean the password cannot be kept.
        result.status = Status::Unavailable;
        result.reason = job->errorString();
        break;
    }
    delete job;
    return result;
}

} // namespace

Result CredentialStore::Read(const QString& key, const StillWanted& stillWanted) const {
    return run(new QKeychain::ReadPasswordJob(m_service), key, stillWanted);
}

Result CredentialStore::Write(const QString& key, const QString& password, const StillWanted& stillWanted) const {
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setTextData(password);
    return run(job, key, stillWanted);
}

Result CredentialStore::Remove(const QString& key, const StillWanted& stillWanted) const {
    return run(new QKeychain::DeletePasswordJob(m_service), key, stillWanted);
}
