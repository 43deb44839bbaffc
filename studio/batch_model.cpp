#include "studio/batch_model.h"

#include "make/batch.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace quorvel::studio {

namespace {

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "25 fps", "29.97 fps"
QString fpsText(disc::Fraction rate) {
    if (rate.den == 0)
        return QStringLiteral("? fps");
    const double fps = static_cast<double>(rate.num) / static_cast<double>(rate.den);
    return QString::number(fps, 'f', rate.num % rate.den == 0 ? 0 : 2) + QStringLiteral(" fps");
}

} // namespace

BatchModel::BatchModel(QObject* parent) : QAbstractTableModel(parent) {
    replan();
}

int BatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(files_.size());
}

int BatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BatchModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kNames[] = {"File",      "Progress",  "Running time",
                                         "On the TV", "Rate plan", "Warnings"};
    return section >= 0 && section < ColumnCount ? tr(kNames[section]) : QVariant();
}

QVariant BatchModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const File& f = files_[static_cast<std::size_t>(index.row())];
    if (role == kPercentRole && index.column() == Progress)
        return f.percent;
    if (role == Qt::ToolTipRole && index.column() == Name)
        return f.path;
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case Name:
        return QFileInfo(f.path).fileName();
    case Time:
        return f.source.durationMs ? fromBytes(disc::runningTimeText(*f.source.durationMs))
                                   : tr("unknown");
    case Shape:
        return shapeText(index.row());
    case Rate:
        return rateText(index.row());
    case Warnings:
        return warnings(index.row());
    case Progress:
        return f.percent < 0 ? QString() : QString::number(f.percent) + QLatin1Char('%');
    }
    return {};
}

QString BatchModel::shapeText(int row) const {
    const disc::TargetPlan* t = target(row);
    if (!t)
        return tr("no disc size");
    QString text =
        QStringLiteral("%1x%2 ").arg(t->tv.width).arg(t->tv.height) +
        (t->aspect == disc::DisplayAspect::Wide ? QStringLiteral("16:9") : QStringLiteral("4:3"));
    if (t->movie.width != t->tv.width || t->movie.height != t->tv.height)
        text += tr(", picture %1x%2").arg(t->movie.width).arg(t->movie.height);
    return text;
}

QString BatchModel::rateText(int row) const {
    const disc::TargetPlan* t = target(row);
    if (!t || !t->rate)
        return {};
    QString text = fpsText(t->rate->outputRate);
    if (t->rate->interlaced)
        text += tr(" interlaced");
    if (t->streams)
        text += tr(", video %1 kbit/s")
                    .arg(fromBytes(
                        disc::groupedNumber(static_cast<std::uint64_t>(t->streams->videoKbps))));
    if (!t->rate->note.empty())
        text += QStringLiteral("; ") + fromBytes(t->rate->note);
    return text;
}

QString BatchModel::warnings(int row) const {
    QStringList out;
    const auto i = static_cast<std::size_t>(row);
    if (const disc::TargetPlan* t = target(row)) {
        if (t->rate && !t->rate->warning.empty())
            out << fromBytes(t->rate->warning);
        if (t->command && !t->command->command)
            out << fromBytes(t->command->error);
    } else if (i < plan_.inputs.size()) {
        out << tr("the picture has no disc size");
    }
    if (plan_.budget) {
        const auto& without = plan_.budget->budget.withoutTime;
        if (std::find(without.begin(), without.end(), i) != without.end())
            out << tr("the running time is unknown, so it is left out of the fill");
    }
    return out.join(QStringLiteral("; "));
}

const disc::TargetPlan* BatchModel::target(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= plan_.inputs.size())
        return nullptr;
    const auto& targets = plan_.inputs[static_cast<std::size_t>(row)].targets;
    return targets.empty() ? nullptr : &targets.front();
}

QStringList BatchModel::addFiles(const QStringList& paths) {
    QStringList refused;
    std::vector<File> added;
    for (const QString& path : paths) {
        make::ReadInput read = make::readInput(QFile::encodeName(path).toStdString());
        if (!read.ok()) {
            refused << QFileInfo(path).fileName() + QStringLiteral(": ") + fromBytes(read.error);
            continue;
        }
        added.push_back({path, std::move(read.source)});
    }
    if (!added.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        for (File& f : added)
            files_.push_back(std::move(f));
        endInsertRows();
        replan();
    }
    return refused;
}

void BatchModel::removeFile(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    files_.erase(files_.begin() + row);
    endRemoveRows();
    replan();
}

void BatchModel::moveFile(int from, int to) {
    if (from < 0 || from >= rowCount() || to < 0 || to >= rowCount() || from == to)
        return;
    // Qt counts the destination before the move.
    if (!beginMoveRows({}, from, from, {}, to > from ? to + 1 : to))
        return;
    File f = std::move(files_[static_cast<std::size_t>(from)]);
    files_.erase(files_.begin() + from);
    files_.insert(files_.begin() + to, std::move(f));
    endMoveRows();
    replan();
}

void BatchModel::setFormat(disc::Format format) {
    format_ = format;
    disc_ = disc::usualDisc(format);
    replan();
}

void BatchModel::setStandard(std::optional<disc::Standard> standard) {
    standard_ = standard;
    replan();
}

void BatchModel::setDisc(disc::DiscChoice disc) {
    disc_ = disc;
    replan();
}

void BatchModel::setPercent(int row, int percent) {
    if (row < 0 || row >= rowCount() || files_[static_cast<std::size_t>(row)].percent == percent)
        return;
    files_[static_cast<std::size_t>(row)].percent = percent;
    const QModelIndex cell = index(row, Progress);
    Q_EMIT dataChanged(cell, cell);
}

disc::PlanRequest BatchModel::request() const {
    return make::discRequest(format_, standard_, disc_);
}

std::vector<disc::PlanSource> BatchModel::sources() const {
    std::vector<disc::PlanSource> out;
    for (const File& f : files_)
        out.push_back(f.source);
    return out;
}

QStringList BatchModel::paths() const {
    QStringList out;
    for (const File& f : files_)
        out << f.path;
    return out;
}

std::vector<std::string> BatchModel::names() const {
    std::vector<std::string> out;
    for (const File& f : files_)
        out.push_back(QFileInfo(f.path).fileName().toStdString());
    return out;
}

void BatchModel::replan() {
    const std::vector<disc::PlanSource> all = sources();
    plan_ = disc::makePlan(request(), all);
    fill_ = make::discFill(plan_);
    if (!files_.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    Q_EMIT planChanged();
}

} // namespace quorvel::studio
