#include "slots/slot_list_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cerrno>
#include <optional>

#include "slots/slot_table.h"
#include "text/number_text.h"

namespace slots {

namespace {

const QString kListName = QStringLiteral("SoundList.csv");

// The board's own code page, as the Windows program writes the list.
constexpr char kCodePage[] = "windows-31j";

// ---- Writing ----------------------------------------------------------------------------

QString NumberField(double value) {
    return text::NumberText(value) + QLatin1Char(' ');
}

// A quote inside the text is doubled; a text without one is written unchanged, so such a
// list keeps the bytes it always had.
QString QuotedField(QString text) {
    if (text.contains(QLatin1Char('"'))) text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// How each type of field is written.
QString Written(const QString& text) {
    return QuotedField(text);
}
QString Written(double number) {
    return NumberField(number);
}
QString Written(int number) {
    return NumberField(number);
}

QString Decode(const QByteArray& bytes);

// Shift-JIS when every character survives the trip there and back; otherwise the whole file
// is UTF-8, so no name or path is ever stored as a substitute character. Shift-JIS bytes that
// happen to be valid UTF-8 (half-width katakana such as "ﾃｽ" are C3 BD) would be read back as
// UTF-8, so such a list is written as UTF-8 too.
QByteArray Encode(const QString& text) {
    QStringEncoder encoder(kCodePage);
    if (encoder.isValid()) {
        QByteArray bytes = encoder.encode(text);
        // Read back exactly as the reader will read it: this catches characters Shift-JIS only
        // approximates as well as bytes the reader would take for UTF-8.
        if (!encoder.hasError() && Decode(bytes) == text) return bytes;
    }
    return text.toUtf8();
}

// ---- Reading ----------------------------------------------------------------------------

// Drops the bytes of a multi-byte UTF-8 character that a size limit cut in two.
QByteArray WithoutCutCharacter(QByteArray bytes) {
    int i = int(bytes.size()) - 1;
    int continuation = 0;
    while (i >= 0 && continuation < 3 && (uchar(bytes[i]) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    if (i < 0) return bytes;
    const uchar lead = uchar(bytes[i]);
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > 1 && continuation + 1 < length) bytes.truncate(i);
    return bytes;
}

// A file that is valid UTF-8 and uses bytes above 127 was written as UTF-8; anything else
// (plain ASCII included, where both agree) is read as Shift-JIS.
QString Decode(const QByteArray& bytes) {
    const bool highBytes = std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) > 127; });
    if (highBytes) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError()) {
            if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
            return text;
        }
    }
    QStringDecoder codePage(kCodePage);
    if (codePage.isValid()) return QString(codePage.decode(bytes));
    return QString::fromUtf8(bytes);
}

// Reads the fields of the list in sequence. Fields end at a comma or a line end; a line end
// separates fields just as a comma does, so records are not bound to lines.
class FieldReader {
public:
    // `cut`: the text is the first part of a larger file, so its end is a read error.
    FieldReader(QString text, bool cut) : m_text(std::move(text)), m_cut(cut) {}

    // Before a record: blank lines and blanks are passed over; true when nothing is left.
    // A cut text is never at its end: the records after the cut are missing, which is damage.
    bool atEnd() {
        while (m_pos < m_text.size() && IsSpaceOrLineEnd(m_text[m_pos])) ++m_pos;
        return m_pos >= m_text.size() && !m_cut;
    }

    std::optional<QString> readText() {
        skipBlanks();
        if (m_pos >= m_text.size()) return std::nullopt;
        if (m_text[m_pos] != u'"') {
            // Unquoted text (hand-edited lists): up to the separator, blanks trimmed.
            const qsizetype begin = m_pos;
            while (m_pos < m_text.size() && !IsSeparator(m_text[m_pos])) ++m_pos;
            if (m_pos - begin > kMaxTextLength) return std::nullopt;
            QString value = m_text.mid(begin, m_pos - begin).trimmed();
            if (!finishField()) return std::nullopt;
            return value;
        }
        ++m_pos;  // the opening quote
        // Runs of quotes decide. A doubled quote is one quote of the text; an odd run before a
        // separator (blanks between allowed) or the end gives its pairs and closes the text.
        // Lists written before quotes were doubled hold them as typed, so a lone quote before
        // anything else stays in the text, and an even run before a separator may be the end
        // of such a text: see doubledFormGoesOn.
        const qsizetype begin = m_pos;
        bool doubledForm = false;  // known for the rest of this text once looked ahead
        QString value;
        // Nothing beyond the bound is ever held, however long the run or the stretch.
        const auto take = [&](QStringView part) {
            if (value.size() + part.size() > kMaxTextLength) return false;
            value += part;
            return true;
        };
        const auto takeQuotes = [&](qsizetype n) { return n <= kMaxTextLength && take(QString(n, u'"')); };
        for (;;) {
            const qsizetype quote = m_text.indexOf(u'"', m_pos);
            if (quote < 0) return std::nullopt;  // no closing quote
            if (!take(QStringView(m_text).mid(m_pos, quote - m_pos))) return std::nullopt;
            const qsizetype run = runLength(quote);
            m_pos = quote + run;
            const bool beforeSeparator = closesText(m_pos);
            // How many quotes of the text the run holds, and whether it closes the text.
            qsizetype quotes = run / 2;
            bool closes = false;
            if (run % 2 == 1) {
                closes = beforeSeparator;
                if (!beforeSeparator) ++quotes;  // an older list's lone quote
            } else if (beforeSeparator && !doubledForm && !(doubledForm = doubledFormGoesOn(m_pos, begin))) {
                quotes = run - 1;  // an older list's text that ends in quotes
                closes = true;
            }
            if (!takeQuotes(quotes)) return std::nullopt;
            if (closes) break;
        }
        if (!finishField()) return std::nullopt;
        return value;
    }

    // A number written as decimal with "." (".5" and "0.5" alike), blanks around it allowed.
    std::optional<double> readNumber() {
        skipBlanks();
        const qsizetype begin = m_pos;
        while (m_pos < m_text.size() && !IsSeparator(m_text[m_pos])) ++m_pos;
        const QString field = m_text.mid(begin, m_pos - begin).trimmed();
        if (!finishField()) return std::nullopt;
        return text::ReadWholeNumber(field);
    }

    std::optional<int> readInteger16() {
        const auto number = readNumber();
        if (!number) return std::nullopt;
        const double whole = text::RoundHalfEven(*number);
        if (whole < -32768 || whole > 32767) return std::nullopt;  // overflow
        return int(whole);
    }

    // One field of the type of `target`; false, with `target` untouched, when it cannot be read.
    bool read(QString& target) { return take(readText(), target); }
    bool read(double& target) { return take(readNumber(), target); }
    bool read(int& target) { return take(readInteger16(), target); }

private:
    template <typename T>
    static bool take(std::optional<T> value, T& target) {
        if (value) target = std::move(*value);
        return value.has_value();
    }

    static bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }
    static bool IsLineEnd(QChar c) { return c == u'\r' || c == u'\n'; }
    static bool IsSpaceOrLineEnd(QChar c) { return IsBlank(c) || IsLineEnd(c); }
    static bool IsSeparator(QChar c) { return c == u',' || IsLineEnd(c); }

    void skipBlanks() {
        while (m_pos < m_text.size() && IsBlank(m_text[m_pos])) ++m_pos;
    }

    bool closesText(qsizetype after) const {
        while (after < m_text.size() && IsBlank(m_text[after])) ++after;
        return after >= m_text.size() || IsSeparator(m_text[after]);
    }

    qsizetype runLength(qsizetype at) const {
        qsizetype end = at;
        while (end < m_text.size() && m_text[end] == u'"') ++end;
        return end - at;
    }

    // An even run of quotes before a separator, in the text that began at `begin`: in a list
    // with doubled quotes the text goes on, and every later run up to its end is even, the end
    // being an odd run before a separator. In an older list the text ends here, and reading
    // on as if it did not soon meets what the doubled form never holds: a lone quote before
    // something else (the next field's opening quote), or the end of the file. The look is
    // bounded by the longest text the doubled form can hold, so it stays linear.
    bool doubledFormGoesOn(qsizetype from, qsizetype begin) const {
        const qsizetype bound = begin + 2 * kMaxTextLength;
        for (;;) {
            const qsizetype quote = m_text.indexOf(u'"', from);
            if (quote < 0 || quote > bound) return false;
            const qsizetype run = runLength(quote);
            from = quote + run;
            if (run % 2 == 1) return closesText(from);
        }
    }

    // After a field: blanks, then a comma, a line end (CR LF, CR or LF) or the end of the
    // text. Reaching the end of a cut text means the field may be incomplete.
    bool finishField() {
        skipBlanks();
        if (m_pos >= m_text.size()) return !m_cut;
        if (m_text[m_pos] == u',') {
            ++m_pos;
        } else if (m_text[m_pos] == u'\r') {
            ++m_pos;
            if (m_pos < m_text.size() && m_text[m_pos] == u'\n') ++m_pos;
        } else if (m_text[m_pos] == u'\n') {
            ++m_pos;
        } else {
            return false;
        }
        return true;
    }

    QString m_text;
    bool m_cut;
    qsizetype m_pos = 0;
};

// Reads one record, field by field in the list's order; fieldsRead says how far it got.
SlotRecord ReadRecord(FieldReader& reader) {
    SlotRecord record;
    record.fieldsRead = 0;
    for (const ListField& field : kListFields) {
        if (!std::visit([&](auto member) { return reader.read(record.*member); }, field)) break;
        ++record.fieldsRead;
    }
    return record;
}

}  // namespace

std::vector<SlotRecord> ParseSlotList(const QByteArray& bytes) {
    const bool cut = bytes.size() > kMaxListBytes;
    QByteArray readable = cut ? WithoutCutCharacter(bytes.left(kMaxListBytes)) : bytes;
    FieldReader reader(Decode(readable), cut);

    std::vector<SlotRecord> records;
    while (int(records.size()) < kSlotCount && !reader.atEnd()) {
        records.push_back(ReadRecord(reader));
        if (records.back().fieldsRead < kFieldCount) break;  // a read error ends the list
    }
    return records;
}

QByteArray FormatSlotList(const std::vector<SlotRecord>& records) {
    QString text;
    for (int i = 0; i < kSlotCount; ++i) {
        SlotRecord record = i < int(records.size()) ? records[size_t(i)] : SlotRecord{};
        record.index = i;
        QString separator;
        for (const ListField& field : kListFields) {
            text += separator + std::visit([&](auto member) { return Written(record.*member); }, field);
            separator = QStringLiteral(",");
        }
        text += QStringLiteral("\r\n");
    }
    return Encode(text);
}

QString FindSlotListFile(const QString& folder) {
    const QDir dir(folder);
    const QString exact = dir.filePath(kListName);
    if (QFileInfo(exact).isFile()) return exact;
    // A list copied from Windows may have any mix of case; the first such name, by name.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries)
        if (entry.compare(kListName, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    return exact;
}

std::vector<SlotRecord> ReadSlotList(const QString& folder) {
    const QString path = FindSlotListFile(folder);
    if (!QFileInfo(path).isFile()) return {};  // also keeps a pipe or a device from blocking us
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // One byte past the limit tells a list that is too large from one that just fits.
    return ParseSlotList(file.read(kMaxListBytes + 1));
}

// Writes over the list that was found (whatever the case of its name) so that the folder
// keeps one list; a new list is called "SoundList.csv".
bool WriteSlotList(const QString& folder, const std::vector<SlotRecord>& records, QString* error) {
    return WriteSlotListFile(FindSlotListFile(folder), records, error);
}

bool WriteSlotListFile(const QString& path, const std::vector<SlotRecord>& records, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = FormatSlotList(records);
    const auto fail = [&] {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return fail();
    if (file.write(bytes) != bytes.size()) return fail();
    // Qt takes a short write (a full disk, a file size limit) for success and would commit a
    // cut list, so what reached the file is measured before the old list is replaced.
    errno = 0;
    const bool flushed = file.flush();
    const int flushErrno = errno;
    if (!flushed || file.size() != bytes.size()) {
        if (error)
            *error = file.error() != QFileDevice::NoError ? file.errorString()
                     : flushErrno != 0                    ? qt_error_string(flushErrno)
                                                          : QStringLiteral("The slot list could not be written whole.");
        file.cancelWriting();
        return false;
    }
    // commit() flushes to disk before it renames over the old list: a failure at any point
    // leaves the old list whole.
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

QString KeepCopyOfList(const QString& path, QString* error) {
    QString copy = path + QStringLiteral(".bak");
    for (int n = 1; QFileInfo::exists(copy) || QFileInfo(copy).isSymLink(); ++n)
        copy = path + QStringLiteral(".bak.") + QString::number(n);
    QFile list(path);
    if (list.copy(copy)) return copy;
    if (error) *error = list.errorString();
    return {};
}

}  // namespace slots
