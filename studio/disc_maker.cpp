#include "studio/disc_maker.h"

#include <QMetaObject>

namespace quorvel::studio {

namespace {

// Progress events come with every ffmpeg report; the window needs a few a second.
constexpr std::uint64_t kProgressEveryMs = 100;

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

DiscMaker::DiscMaker(QObject* parent) : QObject(parent) {}

DiscMaker::~DiscMaker() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void DiscMaker::post(std::function<void()> f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

bool DiscMaker::start(make::MakeRequest request, disc::Plan plan) {
    if (thread_.joinable())
        return false;
    stop_ = false;
    thread_ = std::thread([this, request = std::move(request), plan = std::move(plan)]() mutable {
        const make::Engine* shown = nullptr;
        std::uint64_t lastMs = 0;
        QString image;
        QString error;
        make::Engine engine(std::move(request), std::move(plan), [&](const make::Event& e) {
            using Kind = make::Event::Kind;
            switch (e.kind) {
            case Kind::Progress:
            case Kind::Encoded: {
                const std::uint64_t now = shown->elapsedMs();
                if (e.kind == Kind::Progress && now < lastMs + kProgressEveryMs)
                    return;
                lastMs = now;
                QList<int> percents;
                for (const make::JobProgress& job : shown->jobs())
                    percents << make::percentOf(job);
                const int total = make::totals(shown->jobs(), now).percent;
                post([this, percents, total] { Q_EMIT progress(percents, total); });
                return;
            }
            case Kind::Fit: {
                const QString text = QString::fromStdString(make::fitText(e.text, e.fits));
                post([this, text] { Q_EMIT step(text); });
                return;
            }
            case Kind::Refit: {
                const QString text =
                    tr("encoding file %1 again at %2 kbit/s to fit").arg(e.input + 1).arg(e.kbps);
                post([this, text] { Q_EMIT step(text); });
                return;
            }
            case Kind::Share: {
                const QString text = QString::fromStdString(
                    make::shareText("file " + std::to_string(e.input + 1), e.kbps));
                post([this, text] { Q_EMIT step(text); });
                return;
            }
            case Kind::Step: {
                const QString text = QString::fromStdString(make::stepText(e.text));
                post([this, text] { Q_EMIT step(text); });
                return;
            }
            case Kind::Done:
                image = fromBytes(e.text);
                return;
            case Kind::Error:
                error = fromBytes(e.text);
                return;
            }
        });
        shown = &engine;
        const int status = engine.run(stop_);
        post([this, status, image, error] { ended(status, image, error); });
    });
    return true;
}

void DiscMaker::cancel() {
    stop_ = true;
}

void DiscMaker::ended(int status, const QString& image, const QString& error) {
    // The thread's last act was to post this: it ends at once.
    if (thread_.joinable())
        thread_.join();
    Q_EMIT finished(status, image, error);
}

} // namespace quorvel::studio
