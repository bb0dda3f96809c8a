#include "ReportText.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype LinesPerCheckpoint = 64;
constexpr qsizetype BytesPerCheckpoint = 64 * 1024;

bool HasByteOrderMark(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF");
}

} // namespace

ReportText::ReportText() : checkpoints{{0, 0}} {}

ReportText::ReportText(QByteArray data) : bytes(std::move(data)) {
    utf8 = FileSystem::IsValidUtf8(bytes);
    qsizetype start = utf8 && HasByteOrderMark(bytes) ? 3 : 0;
    checkpoints.push_back({0, start});
    qsizetype line = 0;
    for (qsizetype end = lineEnd(start); end < bytes.size(); end = lineEnd(start)) {
        start = nextLine(end);
        ++line;
        const Checkpoint& last = checkpoints.back();
        if (line - last.line >= LinesPerCheckpoint || start - last.offset >= BytesPerCheckpoint)
            checkpoints.push_back({line, start});
    }
    count = line + 1;
    checkpoints.shrink_to_fit();
}

qsizetype ReportText::lineEnd(qsizetype start) const {
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    // A line feed first, then a carriage return before it: two fast scans instead of a loop
    // that looks at every byte twice.
    const void* feed = std::memchr(data + start, '\n', size_t(size - start));
    const qsizetype limit = feed ? static_cast<const char*>(feed) - data : size;
    const void* ret = std::memchr(data + start, '\r', size_t(limit - start));
    return ret ? static_cast<const char*>(ret) - data : limit;
}

qsizetype ReportText::nextLine(qsizetype end) const {
    const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
    return end + (crlf ? 2 : 1);
}

qsizetype ReportText::lineStart(qsizetype index) const {
    const auto after = std::upper_bound(
        checkpoints.begin(), checkpoints.end(), index,
        [](qsizetype line, const Checkpoint& checkpoint) { return line < checkpoint.line; });
    const Checkpoint& from = *(after - 1);
    qsizetype start = from.offset;
    for (qsizetype line = from.line; line < index; ++line)
        start = nextLine(lineEnd(start));
    return start;
}

QString ReportText::decode(qsizetype from, qsizetype to) const {
    return FileSystem::DecodePiece(bytes.constData() + from, to - from, utf8);
}

QString ReportText::line(qsizetype index) const {
    if (index < 0 || index >= count)
        return {};
    const qsizetype start = lineStart(index);
    return decode(start, lineEnd(start));
}

QStringList ReportText::lines(qsizetype first, qsizetype wanted) const {
    QStringList result;
    first = std::max<qsizetype>(first, 0);
    wanted = std::min(wanted, count - first);
    if (wanted <= 0)
        return result;
    result.reserve(wanted);
    qsizetype start = lineStart(first);
    for (qsizetype i = 0; i < wanted; ++i) {
        const qsizetype end = lineEnd(start);
        result.append(decode(start, end));
        if (end < bytes.size())
            start = nextLine(end);
    }
    return result;
}

QString ReportText::text(ReportPosition from, ReportPosition to) const {
    from.line = std::clamp<qsizetype>(from.line, 0, count - 1);
    to.line = std::clamp<qsizetype>(to.line, 0, count - 1);
    if (to < from)
        std::swap(from, to);
    QString result;
    qsizetype start = lineStart(from.line);
    for (qsizetype line = from.line; line <= to.line; ++line) {
        const qsizetype end = lineEnd(start);
        const QString text = decode(start, end);
        const qsizetype left = line == from.line ? std::min(from.column, text.size()) : 0;
        const qsizetype right = line == to.line ? std::min(to.column, text.size()) : text.size();
        result += QStringView(text).mid(left, std::max<qsizetype>(right - left, 0));
        if (line < to.line) {
            result += u'\n';
            start = nextLine(end);
        }
    }
    return result;
}

ReportPosition ReportText::end() const {
    return {count - 1, line(count - 1).size()};
}

QString ReportText::toPlainText() const {
    return text({0, 0}, end());
}
