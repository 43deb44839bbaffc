#pragma once

// The disc window: files in, a plan shown as it changes, a disc image out.

#include "studio/batch_model.h"
#include "studio/disc_maker.h"
#include "studio/preview.h"

#include <QHash>
#include <QImage>
#include <QMainWindow>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace quorvel::studio {

class StudioWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StudioWindow(QWidget* parent = nullptr);

    // As the Add button and a drop do; refusals show in the window.
    void addFiles(const QStringList& paths);
    BatchModel& model() { return model_; }
    DiscMaker& maker() { return maker_; }
    PreviewWidget& preview() { return *preview_; }
    // What the window says now: an error, a refusal or a result.
    QString message() const;

    // The buttons' work, for keys and tests alike.
    void removeSelected();
    void moveSelected(int by);
    void makeDisc();
    void cancel();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int selectedRow() const;
    void chooseFiles();
    void chooseImage();
    void formatChosen();
    void planChanged();
    void showPreview();
    void showMessage(const QString& text, bool error);
    void progressed(const QList<int>& percents, int total);
    void finished(int status, const QString& image, const QString& error);
    void setRunning(bool running);
    void openFolder();

    BatchModel model_;
    DiscMaker maker_;
    FrameGrabber grabber_;
    QHash<QString, QImage> frames_;
    QTableView* table_ = nullptr;
    PreviewWidget* preview_ = nullptr;
    QComboBox* format_ = nullptr;
    QComboBox* standard_ = nullptr;
    QComboBox* disc_ = nullptr;
    QProgressBar* fill_ = nullptr;
    QLineEdit* image_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QPushButton* choose_ = nullptr;
    QPushButton* make_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* open_ = nullptr;
    QProgressBar* total_ = nullptr;
    QLabel* step_ = nullptr;
    QLabel* message_ = nullptr;
    QString made_;
};

} // namespace quorvel::studio
