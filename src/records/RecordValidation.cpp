#include "RecordValidation.h"

#include "app/GbkText.h"
#include "app/engine/Connection.h"

namespace corvalis::records {

namespace {

ValidationFailure failure(const QString& message, const char* field) {
    return {message, QString::fromLatin1(field), false};
}

bool listed(const TMenuItemDataArray* list, qint64 code) {
    return list && !codeName(*list, code).isEmpty();
}

QString duplicateMessage(EntryMode mode, const QString& codeText) {
    return mode == EntryMode::Add
               ? QStringLiteral(
                     "在增加数据时，填写的工会顺序编码为%1，该编码的数据已经存在，请改用其它编码。")
                     .arg(codeText)
               : QStringLiteral("在修改数据时，将工会顺序编码改为%1，该编码的数据已经存在，请改用其它编码。")
                     .arg(codeText);
}
} // namespace

bool telephoneFormatValid(const QString& telephone) {
    const int length = gbkLength(telephone);
    if (telephone.contains(QLatin1Char('-')))
        return length >= 11 && length <= 13;
    return length == 7 || length == 8 || length == 11 || length == 12;
}

bool holdingSituationRequired(qint64 unitCategory) {
    return unitCategory == 140 || unitCategory == 159 || unitCategory == 190 || unitCategory == 169;
}

qint64 countRecordsWithCode(engine::Connection& connection, UnionCode code) {
    return connection.scalar(QStringLiteral("SELECT count(*) as TBLNUM FROM dt_data  WHERE c901=?"), {code})
        .toLongLong();
}

std::optional<ValidationFailure> validateRecord(const CoverValues& v, EntryMode mode, UnionCode currentCode,
                                                const ValidationLookups& lookups) {
    using namespace ValidationText;
    if (v.c901Text.isEmpty())
        return failure(CodeMissing, "c901");
    const UnionCode code = unionCodeOfText(v.c901Text);
    if (v.c901Text.size() != 12 && code < SmallestUnionCode)
        return failure(CodeTooShort, "c901");
    if (lookups.recordsWithCode && lookups.recordsWithCode(code) > 0 && code != currentCode)
        return ValidationFailure{duplicateMessage(mode, v.c901Text), QStringLiteral("c901"), true};
    if (v.c902.trimmed().isEmpty())
        return failure(NameMissing, "c902");
    if (!lookups.divisionName || lookups.divisionName(v.c903).isEmpty())
        return failure(DivisionInvalid, "c903");
    if (!listed(lookups.levels, v.c904))
        return failure(LevelInvalid, "c904");
    if (!listed(lookups.industries, v.c905))
        return failure(IndustryInvalid, "c905");
    if (!listed(lookups.economics, v.c906))
        return failure(EconomicInvalid, "c906");
    if (!listed(lookups.states, v.c912))
        return failure(StateInvalid, "c912");
    if (holdingSituationRequired(v.c906) && v.holdName.trimmed().isEmpty())
        return failure(HoldMissing, "c909");
    if (v.c910.trimmed().isEmpty())
        return failure(FillerMissing, "c910");
    if (v.c911.trimmed().isEmpty())
        return failure(TelephoneMissing, "c911");
    if (!telephoneFormatValid(v.c911))
        return failure(TelephoneInvalid, "c911");
    if (!v.c907.isEmpty() && (!lookups.unionDomainName || lookups.unionDomainName(v.c907).isEmpty()))
        return failure(DomainInvalid, "C907");
    return std::nullopt;
}

} // namespace corvalis::records
