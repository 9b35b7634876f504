#include "FieldRules.h"

#include "RecordValidation.h"
#include "SurveyColumns.h"

#include <QStringList>

namespace corvalis::records {

namespace {
void add(FieldSwitches& switches, const QStringList& fields, bool enabled) {
    for (const QString& field : fields)
        switches.push_back({field, enabled});
}

bool isOneOf(qint64 value, std::initializer_list<qint64> values) {
    for (qint64 candidate : values)
        if (candidate == value)
            return true;
    return false;
}

bool isOrganOrInstitution(qint64 k) {
    return k == 401 || k == 402;
}

// One row of the holding-situation table: the categories it covers and what it does.
struct HoldRule {
    std::initializer_list<qint64> categories;
    HoldList list;
    bool enabled;
    HoldValue value;
    qint64 fixedValue;
};
const HoldRule fixedHoldRules[] = {
    {{110, 151, 161}, HoldList::Standard, false, HoldValue::Set, 1},
    {{120, 130}, HoldList::Unchanged, false, HoldValue::Set, 2},
    {{169}, HoldList::WithoutState, true, HoldValue::KeepWhenNamed, 0},
    {{170}, HoldList::Unchanged, false, HoldValue::Set, 3},
    {{190, 200, 300}, HoldList::Standard, true, HoldValue::Set, 3},
};
} // namespace

bool fillsEnterpriseTables(qint64 k) {
    return !isOneOf(k, {500, 701, 702, 703, 704});
}

bool answersUnionContracts(qint64 k) {
    return fillsEnterpriseTables(k) && !isOrganOrInstitution(k);
}

bool answersBoardQuestions(qint64 k) {
    return fillsEnterpriseTables(k) && !isOneOf(k, {110, 401, 402, 600});
}

QStringList columnRange(const char* prefix, int first, int last) {
    QStringList names;
    for (int number = first; number <= last; ++number)
        names << QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(number, 3, 10, QLatin1Char('0'));
    return names;
}

OrganisationTypeEffect organisationTypeEffect(qint64 c904, qint64 c906, qint64 c912) {
    OrganisationTypeEffect effect;
    if (!isFiling(c912))
        return effect;
    effect.setsZ001 = true;
    effect.z001 = c904 == 1 ? 1 : 0;
    add(effect.switches, columnRange("b", 4, 9), c904 == 1 && answersUnionContracts(c906));
    return effect;
}

FieldSwitches unitCategorySwitches(qint64 k, qint64 c904) {
    FieldSwitches switches;
    if (!fillsEnterpriseTables(k)) {
        add(switches, columnRange("b", 1, 9), false);
        add(switches, columnRange("h", 1, 17), false);
        add(switches, columnRange("l", 1, 11), false);
        add(switches, columnRange("f", 1, 8), false);
        add(switches, columnRange("j", 1, 16), false);
        return switches;
    }
    const bool contracts = answersUnionContracts(k);
    add(switches, {QStringLiteral("b001")}, contracts);
    add(switches, columnRange("b", 4, 9), contracts && c904 == 1);
    if (answersBoardQuestions(k)) {
        add(switches, columnRange("h", 1, 17), true);
    } else {
        add(switches, columnRange("h", 1, 5), true);
        add(switches, columnRange("h", 6, 17), false);
    }
    add(switches, columnRange("l", 1, 11), true);
    add(switches, columnRange("f", 1, 8), true);
    add(switches, columnRange("j", 1, 16), true);
    add(switches, columnRange("b", 2, 3), true);
    return switches;
}

HoldDecision holdDecision(qint64 k, bool resetOn140, bool resetOn159) {
    HoldDecision decision;
    if (k == 600) {
        decision = {HoldList::Unchanged, false, HoldValue::Set, 3, true, true};
    } else if (k == 140 && resetOn140) {
        decision = {HoldList::Unchanged, true, HoldValue::Set, 0, resetOn140, true};
    } else if (k == 159 && resetOn159) {
        decision = {HoldList::Unchanged, true, HoldValue::Set, 0, true, resetOn159};
    } else if (k >= 401) {
        decision = {HoldList::Unchanged, false, HoldValue::Set, 0, true, true};
    } else {
        for (const HoldRule& rule : fixedHoldRules)
            if (isOneOf(k, rule.categories))
                return {rule.list, rule.enabled, rule.value, rule.fixedValue, true, true};
        // Any other category below 401, also 140 and 159 while their flag is down.
        decision = {HoldList::Standard, true, HoldValue::Keep, 0, resetOn140, resetOn159};
    }
    return decision;
}

ResetFlags resetFlagsForLoadedCategory(qint64 k) {
    if (k == 140)
        return {false, true};
    if (k == 159)
        return {true, false};
    return {true, true};
}

bool holdingSituationValid(qint64 unitCategory, qint64 holdingSituation) {
    if (holdingSituation > 3)
        return false;
    return unitCategory != 169 || holdingSituation != 1;
}

DomainFormat domainFormat(const QString& text) {
    if (text.isEmpty())
        return DomainFormat::Empty;
    if (text.size() != 3)
        return DomainFormat::WrongLength;
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    if (!isDigit(text[1]) || !isDigit(text[2]))
        return DomainFormat::NotDigits;
    return DomainFormat::Valid;
}

qint64 domainSlot(const QString& text) {
    if (text.size() < 3)
        return -1;
    return qint64(text[0].unicode() - 64) * 100 + text.right(2).toInt();
}

QString domainOfSlot(qint64 slot) {
    if (slot < 100)
        return QString();
    return QString(QChar(char16_t(slot / 100 + 64))) +
           QStringLiteral("%1").arg(slot % 100, 2, 10, QLatin1Char('0'));
}

QString codeExitMessage(const QString& c901Text) {
    if (c901Text.isEmpty())
        return ValidationText::CodeMissing;
    if (c901Text.size() != 12 && unionCodeOfText(c901Text) < SmallestUnionCode)
        return ValidationText::CodeTooShort;
    return QString();
}

QString unionNameExitMessage(const QString& c902Text) {
    return c902Text.trimmed().isEmpty() ? RuleText::NameMissing : QString();
}

QString fillerExitMessage(const QString& c910Text) {
    const QString name = c910Text.trimmed();
    if (name.isEmpty())
        return ValidationText::FillerMissing;
    for (QChar c : name)
        if (c.unicode() < 128 && c.isLetterOrNumber())
            return RuleText::FillerNotChinese;
    return QString();
}

QString telephoneExitMessage(const QString& c911Text) {
    if (c911Text.trimmed().isEmpty())
        return ValidationText::TelephoneMissing;
    return telephoneFormatValid(c911Text) ? QString() : ValidationText::TelephoneInvalid;
}

bool fillerKeyAccepted(QChar typed) {
    const bool asciiLetterOrDigit = typed.unicode() < 128 && typed.isLetterOrNumber();
    return !asciiLetterOrDigit && typed != QLatin1Char('.');
}

bool telephoneKeyAccepted(QChar typed) {
    return typed == QLatin1Char('-') || (typed >= QLatin1Char('0') && typed <= QLatin1Char('9'));
}

} // namespace corvalis::records
