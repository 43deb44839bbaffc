#pragma once

// The disc window's files and their plan: a row per file, planned again as a
// whole batch (disc::makePlan) on every change, so that every row and the
// fill always speak of the same disc.

#include "disc/plan.h"
#include "make/fill.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorvel::studio {

class BatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Progress, Time, Shape, Rate, Warnings, ColumnCount };
    // The Progress column's percent (an int, -1 when none) under this role.
    static constexpr int kPercentRole = Qt::UserRole;

    explicit BatchModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Reads each file and adds the readable ones; the others come back as
    // "name: why".
    QStringList addFiles(const QStringList& paths);
    void removeFile(int row);
    void moveFile(int from, int to);
    void setFormat(disc::Format format); // and the format's usual disc
    void setStandard(std::optional<disc::Standard> standard);
    void setDisc(disc::DiscChoice disc);
    // -1: no bar.
    void setPercent(int row, int percent);

    disc::Format format() const { return format_; }
    disc::DiscChoice disc() const { return disc_; }
    disc::PlanRequest request() const;
    const disc::Plan& plan() const { return plan_; }
    const make::DiscFill& fill() const { return fill_; }
    std::vector<disc::PlanSource> sources() const;
    QStringList paths() const;
    std::vector<std::string> names() const; // the file names as shown
    // The row's first target; none when the plan has none.
    const disc::TargetPlan* target(int row) const;
    QString warnings(int row) const;

Q_SIGNALS:
    void planChanged();

private:
    struct File {
        QString path;
        disc::PlanSource source;
        int percent = -1;
    };
    QString shapeText(int row) const;
    QString rateText(int row) const;
    void replan();

    std::vector<File> files_;
    disc::Format format_ = disc::Format::Dvd;
    std::optional<disc::Standard> standard_;
    disc::DiscChoice disc_ = disc::usualDisc(disc::Format::Dvd);
    disc::Plan plan_;
    make::DiscFill fill_;
};

} // namespace quorvel::studio
