#include "ui/kn_unitSideWork.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <atomic>
#include <mutex>
#include <thread>

namespace kn {

TKNSideResult RunSideWork(QWidget* parent, const QString& text,
                          const std::function<TKNSideResult(const TKNSideContext&)>& work,
                          std::vector<std::string>& notices)
{
    std::atomic<bool> stop{false};
    std::mutex noticesMutex;
    TKNSideContext context;
    context.Stop = &stop;
    context.Notice = [&](const std::string& notice) {
        const std::lock_guard lock(noticesMutex);
        notices.push_back(notice);
    };
    // Application-modal from the start: no window can be closed or edited under the work.
    QProgressDialog box(text, QStringLiteral("Cancel"), 0, 0, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setMinimumDuration(0);
    // Cancelling hides the box; it stays up (and modal) until the side has noticed and ended.
    QObject::connect(&box, &QProgressDialog::canceled, [&stop, &box] {
        stop = true;
        box.setLabelText(QStringLiteral("Stopping..."));
        box.show();
    });
    box.show();
    QEventLoop loop;
    TKNSideResult result;
    std::thread worker([&] {
        result = work(context);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return result;
}

}  // namespace kn
