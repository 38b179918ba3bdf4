#include "records/model.h"

#include <QDateTime>
#include <QUuid>

#include <array>
#include <utility>

namespace qarn3 {

namespace {

constexpr std::array<std::pair<Pole, const char*>, 4> kPoles{
    {{Pole::A, "A"}, {Pole::B, "B"}, {Pole::C, "C"}, {Pole::N, "N"}}};
constexpr std::array<std::pair<PointKind, const char*>, 5> kKinds{
    {{PointKind::LongTime, "long-time"},
     {PointKind::ShortTime, "short-time"},
     {PointKind::Instantaneous, "instantaneous"},
     {PointKind::GroundFault, "ground-fault"},
     {PointKind::Other, "other"}}};
constexpr std::array<std::pair<Condition, const char*>, 3> kConditions{
    {{Condition::AsFound, "as-found"},
     {Condition::AsLeft, "as-left"},
     {Condition::Other, "other"}}};
constexpr std::array<std::pair<TargetOf, const char*>, 5> kTargets{{{TargetOf::In, "In"},
                                                                    {TargetOf::Ir, "Ir"},
                                                                    {TargetOf::Isd, "Isd"},
                                                                    {TargetOf::Ii, "Ii"},
                                                                    {TargetOf::Ig, "Ig"}}};

template <typename E, std::size_t N>
std::string textOf(const std::array<std::pair<E, const char*>, N>& table, E value) {
    for (const auto& [v, text] : table)
        if (v == value) return text;
    return {};
}

template <typename E, std::size_t N>
std::optional<E> valueOf(const std::array<std::pair<E, const char*>, N>& table,
                         const std::string& text) {
    for (const auto& [v, t] : table)
        if (text == t) return v;
    return std::nullopt;
}

} // namespace

std::string poleText(Pole p) {
    return textOf(kPoles, p);
}
std::string kindText(PointKind k) {
    return textOf(kKinds, k);
}
std::string conditionText(Condition c) {
    return textOf(kConditions, c);
}
std::optional<Pole> poleFromText(const std::string& text) {
    return valueOf(kPoles, text);
}
std::optional<PointKind> kindFromText(const std::string& text) {
    return valueOf(kKinds, text);
}
std::optional<Condition> conditionFromText(const std::string& text) {
    return valueOf(kConditions, text);
}

std::string targetOfText(TargetOf t) {
    return textOf(kTargets, t);
}
std::optional<TargetOf> targetOfFromText(const std::string& text) {
    for (const auto& [v, t] : kTargets)
        if (QString::fromStdString(text).compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
            return v;
    return std::nullopt;
}

std::string newRecordId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

std::string isoUtcNow() {
    return isoUtcFromMsecs(QDateTime::currentMSecsSinceEpoch());
}

std::string isoUtcFromMsecs(std::int64_t msecs) {
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

} // namespace qarn3
