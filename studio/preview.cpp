#include "studio/preview.h"

#include <QFileInfo>
#include <QPainter>

namespace quorvel::studio {

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
    setAccessibleName(tr("Preview"));
    setAccessibleDescription(tr("One frame of the chosen file as the TV shows it"));
}

void PreviewWidget::setTarget(const std::optional<disc::TargetSizes>& target, bool interlaced) {
    target_ = target;
    interlaced_ = interlaced;
    update();
}

void PreviewWidget::setFrame(const QImage& frame) {
    frame_ = frame;
    update();
}

std::optional<disc::PreviewGeometry> PreviewWidget::geometryNow() const {
    if (!target_)
        return std::nullopt;
    auto g =
        disc::previewGeometry(*target_, width() - 2 * kMargin, height() - 2 * kMargin, interlaced_);
    if (g) {
        g->frame.x += kMargin;
        g->frame.y += kMargin;
        g->picture.x += kMargin;
        g->picture.y += kMargin;
    }
    return g;
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgb(kBackground));
    const auto g = geometryNow();
    if (!g)
        return;
    const QRect frame(g->frame.x, g->frame.y, g->frame.width, g->frame.height);
    const QRect picture(g->picture.x, g->picture.y, g->picture.width, g->picture.height);
    p.fillRect(frame, Qt::black);
    if (!frame_.isNull())
        p.drawImage(picture, frame_);
    else
        p.fillRect(picture, Qt::darkGray);
    // The outline just outside the frame, so the borders stay black to the edge.
    p.setPen(QColor::fromRgb(kOutline));
    p.drawRect(frame.adjusted(-1, -1, 0, 0));
}

FrameGrabber::FrameGrabber(QObject* parent) : QObject(parent) {}

FrameGrabber::~FrameGrabber() {
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(1000);
    }
}

void FrameGrabber::grab(const QString& path, qint64 atMs) {
    if (process_ && path == path_)
        return; // on its way
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(1000);
        process_->deleteLater();
        process_ = nullptr;
    }
    if (!dir_.isValid())
        return;
    path_ = path;
    process_ = new QProcess(this);
    connect(process_, &QProcess::finished, this, &FrameGrabber::done);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            done();
    });
    // "file:" keeps a name with a colon from being read as a protocol.
    const QString input = QStringLiteral("file:") + QFileInfo(path).absoluteFilePath();
    process_->start(QStringLiteral("ffmpeg"),
                    {QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                     QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-ss"),
                     QString::number(static_cast<double>(atMs) / 1000.0, 'f', 3),
                     QStringLiteral("-i"), input, QStringLiteral("-frames:v"), QStringLiteral("1"),
                     QStringLiteral("-f"), QStringLiteral("image2"), QStringLiteral("-y"),
                     dir_.filePath(QStringLiteral("frame.png"))});
}

void FrameGrabber::done() {
    if (!process_)
        return;
    QImage frame;
    if (process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0)
        frame.load(dir_.filePath(QStringLiteral("frame.png")));
    process_->disconnect(this);
    process_->deleteLater();
    process_ = nullptr;
    Q_EMIT grabbed(path_, frame);
}

} // namespace quorvel::studio
