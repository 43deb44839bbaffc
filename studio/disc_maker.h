#pragma once

// Runs quorvel-disc's engine on a thread of its own and hands its events to
// the window's thread as signals, so the window never waits for it.

#include "make/engine.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

namespace quorvel::studio {

class DiscMaker : public QObject {
    Q_OBJECT
public:
    explicit DiscMaker(QObject* parent = nullptr);
    ~DiscMaker() override; // stops a run and waits for it

    // False when a run is still going.
    bool start(make::MakeRequest request, disc::Plan plan);
    // Asks the engine to stop; `finished` says when it has (status 130).
    void cancel();
    bool running() const { return thread_.joinable(); }

Q_SIGNALS:
    // Each input's percent and the whole's.
    void progress(const QList<int>& percents, int total);
    // A step in words: "authoring", "encoding x again at 3,100 kbit/s"...
    void step(const QString& text);
    // 0 done, 1 failed (`error`), 130 stopped; `image` once done.
    void finished(int status, const QString& image, const QString& error);

private:
    void post(std::function<void()> f);
    void ended(int status, const QString& image, const QString& error);

    std::thread thread_;
    std::atomic<bool> stop_{false};
};

} // namespace quorvel::studio
