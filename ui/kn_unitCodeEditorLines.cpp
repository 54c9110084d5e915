// TLines: the text of a TCodeEdit with one TLineObj per line, and the UTF-8 character
// helpers the view measures lines with.
#include <stdexcept>

#include "ui/kn_unitCodeEditorPrivate.h"

namespace kn {

size_t Utf8CharBytes(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t need = lead < 0x80                    ? 1
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 1;
    if (need == 1 || i + need > text.size()) return 1;
    for (size_t k = 1; k < need; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    return need;
}

int32_t Utf8CharCount(std::string_view text)
{
    int32_t count = 0;
    for (size_t i = 0; i < text.size(); ++count)
        i += static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8CharBytes(text, i);
    return count;
}

size_t Utf8ByteOffset(std::string_view text, int32_t column)
{
    size_t i = 0;
    for (int32_t c = 0; c < column && i < text.size(); ++c) i += Utf8CharBytes(text, i);
    return i;
}

std::string Utf8Mid(std::string_view text, int32_t from, int32_t to)
{
    size_t begin = Utf8ByteOffset(text, from);
    size_t end = to <= from ? begin : begin + Utf8ByteOffset(text.substr(begin), to - from);
    return std::string(text.substr(begin, end - begin));
}

std::u32string Utf8Decode(std::string_view text)
{
    std::u32string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t n = Utf8CharBytes(text, i);
        auto lead = static_cast<unsigned char>(text[i]);
        char32_t cp;
        if (n == 1)
            cp = lead < 0x80 ? lead : 0xFFFD;
        else {
            cp = lead & (0xFF >> (n + 1));
            for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            // Overlong forms and surrogates are not characters of their own.
            if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
                cp = 0xFFFD;
        }
        result.push_back(cp);
        i += n;
    }
    return result;
}

QString ExpandTabs(std::string_view text)
{
    QString shown;
    shown.reserve(static_cast<qsizetype>(text.size()));
    for (char32_t cp : Utf8Decode(text)) {
        if (cp == U'\t')
            shown.append(QString(TCodeEdit::TabWidth, QLatin1Char(' ')));
        else
            shown.append(QString::fromUcs4(&cp, 1));
    }
    return shown;
}

TLines::TLines(TCodeEdit* owner) : Owner(owner) {}

void TLines::CheckIndex(int index, bool allowEnd) const
{
    if (index < 0 || index > Count() || (index == Count() && !allowEnd))
        throw std::out_of_range("TLines.GetLineObj() - index out of bounds.");
}

const std::string& TLines::Get(int index) const
{
    CheckIndex(index, false);
    return Items[static_cast<size_t>(index)].Text;
}

const std::vector<TInlineMark>& TLines::Marks(int index) const
{
    CheckIndex(index, false);
    return Items[static_cast<size_t>(index)].Marks;
}

void TLines::SetMarks(int index, std::vector<TInlineMark> marks)
{
    CheckIndex(index, false);
    Items[static_cast<size_t>(index)].Marks = std::move(marks);
}

TLineObj& TLines::GetLineObj(int index)
{
    CheckIndex(index, false);
    return Items[static_cast<size_t>(index)].Obj;
}

const TLineObj& TLines::GetLineObj(int index) const
{
    CheckIndex(index, false);
    return Items[static_cast<size_t>(index)].Obj;
}

void TLines::ShiftOffsets(int from, int64_t delta)
{
    for (size_t i = static_cast<size_t>(from); i < Items.size(); ++i) Items[i].Obj.StartOffset += delta;
}

int TLines::Add(const std::string& text)
{
    Insert(Count(), text);
    return Count() - 1;
}

void TLines::Insert(int index, const std::string& text)
{
    CheckIndex(index, true);
    TLineObj obj;
    obj.CharCount = Utf8CharCount(text);
    if (index > 0) {
        const TLineObj& before = Items[static_cast<size_t>(index - 1)].Obj;
        obj.StartOffset = before.StartOffset + before.CharCount + 2;
    }
    obj.Modified = true;
    obj.Color = Owner->d->color;
    Items.insert(Items.begin() + index, TLine{text, obj, {}});
    ShiftOffsets(index + 1, obj.CharCount + 2);
    Owner->d->LineLengthSeen(obj.CharCount);
    ListModified = true;
    Changed();
}

void TLines::Put(int index, const std::string& text)
{
    CheckIndex(index, false);
    TLine& line = Items[static_cast<size_t>(index)];
    const int32_t newCount = Utf8CharCount(text);
    ShiftOffsets(index + 1, static_cast<int64_t>(newCount) - line.Obj.CharCount);
    line.Text = text;
    line.Marks.clear();
    line.Obj.CharCount = newCount;
    line.Obj.Modified = true;
    ListModified = true;
    Owner->d->LineLengthSeen(newCount);
    Changed();
}

void TLines::Delete(int index)
{
    CheckIndex(index, false);
    const int64_t removed = Items[static_cast<size_t>(index)].Obj.CharCount + 2;
    Items.erase(Items.begin() + index);
    ShiftOffsets(index, -removed);
    ListModified = true;
    Changed();
}

void TLines::Clear()
{
    Items.clear();
    Owner->d->LinesCleared();
    Changed();
}

void TLines::SetModified(bool value)
{
    if (ListModified == value) return;
    ListModified = value;
    for (TLine& line : Items) line.Obj.Modified = value;
}

void TLines::Assign(const TLines& source)
{
    if (&source == this) return;
    BeginUpdate();
    Clear();
    Items.reserve(source.Items.size());
    for (const TLine& line : source.Items) {
        Add(line.Text);
        Items.back().Obj.Color = line.Obj.Color;
        Items.back().Obj.Tag = line.Obj.Tag;
    }
    EndUpdate();
    SetModified(false);
}

void TLines::Assign(const std::vector<std::string>& source)
{
    BeginUpdate();
    Clear();
    Items.reserve(source.size());
    for (const std::string& text : source) Add(text);
    EndUpdate();
    SetModified(false);
}

void TLines::SetCapacity(int capacity)
{
    if (capacity > Count()) Items.reserve(static_cast<size_t>(capacity));
}

void TLines::BeginUpdate()
{
    ++UpdateCount;
}

void TLines::EndUpdate()
{
    if (UpdateCount > 0 && --UpdateCount == 0) Changed();
}

void TLines::Changed()
{
    if (Updating()) return;
    Owner->d->LinesChanged();
    if (OnChange) OnChange();
}

}  // namespace kn
