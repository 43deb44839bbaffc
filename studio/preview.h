#pragma once

// One frame of a file as the disc will show it on a TV: the frame at the
// disc's display aspect, the picture where the plan puts it, black borders
// and the frame's outline. The frame comes from ffmpeg, in the background.

#include "disc/preview.h"

#include <QImage>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <optional>

namespace quorvel::studio {

class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    // Around the frame, for its outline.
    static constexpr int kMargin = 4;
    static constexpr QRgb kBackground = 0xff808080;
    static constexpr QRgb kOutline = 0xffe0e0e0;

    explicit PreviewWidget(QWidget* parent = nullptr);
    void setTarget(const std::optional<disc::TargetSizes>& target, bool interlaced);
    void setFrame(const QImage& frame);
    // Where the frame and the picture are drawn, in the widget's pixels.
    std::optional<disc::PreviewGeometry> geometryNow() const;
    bool hasFrame() const { return !frame_.isNull(); }
    QSize sizeHint() const override { return {320, 240}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<disc::TargetSizes> target_;
    bool interlaced_ = false;
    QImage frame_;
};

// Takes one frame of a file with ffmpeg as a PNG, one file at a time: a new
// request stops the one before.
class FrameGrabber : public QObject {
    Q_OBJECT
public:
    explicit FrameGrabber(QObject* parent = nullptr);
    ~FrameGrabber() override;
    void grab(const QString& path, qint64 atMs);

Q_SIGNALS:
    // An empty image when ffmpeg could not take one.
    void grabbed(const QString& path, const QImage& frame);

private:
    void done();
    QTemporaryDir dir_;
    QProcess* process_ = nullptr;
    QString path_;
};

} // namespace quorvel::studio
