#include "engine/kn_unitSideFile.h"

#include "engine/kn_unitSideRegistry.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

std::string Quoted(const std::string& shown)
{
    return "\"" + shown + "\"";
}

TKNSideResult ChangedSinceFetched(const std::string& shown)
{
    return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown) + " was changed since it was fetched.");
}

TKNSideResult LinkRefused(const std::string& shown)
{
    return TKNSideResult::Fail(TKNSideError::Link, Quoted(shown) + " is a link; nothing is written through it.");
}

// The write itself: the whole text under a temporary name, checked and put in place by Commit.
TKNSideResult WriteWhole(TKNSide& side, const TKNSidePath& path, std::string_view bytes, const TKNWriteTerms& terms)
{
    std::unique_ptr<TKNWriteStream> stream;
    if (TKNSideResult opened = side.OpenWrite(path, terms, stream); !opened) return opened;
    if (TKNSideResult written = stream->Write(bytes.data(), bytes.size()); !written) return written;
    return stream->Commit();
}

}  // namespace

TKNSideResult ConnectSideFile(const TKNSideFile& file, const TKNSideContext& context, std::unique_ptr<TKNSide>& side)
{
    side = OpenSide(file.Location, context);
    TKNSideResult connected = side->Connect();
    if (!connected) side.reset();
    return connected;
}

TKNSideResult FetchSideFile(TKNSide& side, TKNSideFile& file, uint64_t maxSize, std::string& bytes)
{
    const std::string shown = side.Shown(file.Path);
    TKNSideEntry entry;
    if (TKNSideResult found = side.Stat(file.Path, entry); !found) return found;
    if (!entry.Link && entry.Kind != TKNEntryKind::File)
        return TKNSideResult::Fail(TKNSideError::Unsupported, Quoted(shown) + " is not a file.");
    std::unique_ptr<TKNReadStream> stream;
    if (TKNSideResult opened = side.OpenRead(file.Path, stream); !opened) return opened;
    bytes.clear();
    char block[65536];
    TKNSideResult result;
    for (int64_t got; (got = stream->Read(block, sizeof block, result)) != 0;) {
        if (got < 0) return result;
        if (bytes.size() + static_cast<uint64_t>(got) > maxSize)
            return TKNSideResult::Fail(TKNSideError::Other,
                                       Quoted(shown) + " is larger than " + std::to_string(maxSize) + " bytes.");
        bytes.append(block, static_cast<std::size_t>(got));
    }
    stream.reset();
    // The bytes belong to the entry only if nothing changed the file while it was read.
    TKNSideEntry after;
    const TKNSideResult again = side.Stat(file.Path, after);
    if (!CheckExpected(ExpectedOf(entry), again, after, shown))
        return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown) + " changed while it was read.");
    file.Entry = entry;
    return TKNSideResult::Ok();
}

TKNSideResult SaveSideFile(TKNSide& side, TKNSideFile& file, std::string_view bytes, TKNSaveAgainst against)
{
    const std::string shown = side.Shown(file.Path);
    const bool fetched = against == TKNSaveAgainst::Fetched;
    TKNSideEntry current;
    const TKNSideResult found = side.Stat(file.Path, current);
    if (!found && found.Kind != TKNSideError::NotFound) return found;
    if ((found && current.Link) || (fetched && file.Entry.Link)) return LinkRefused(shown);
    if (found && current.Kind != TKNEntryKind::File)
        return TKNSideResult::Fail(TKNSideError::Exists, Quoted(shown) + " is not a file.");
    // Checked here first so that a changed file costs no upload; Commit checks it again.
    const TKNExpected expected = fetched ? ExpectedOf(file.Entry) : found ? ExpectedOf(current) : ExpectedAbsent();
    if (!CheckExpected(expected, found, current, shown)) return ChangedSinceFetched(shown);

    const TKNSideEntry& kept = found ? current : file.Entry;
    TKNWriteTerms terms;
    terms.Size = static_cast<int64_t>(bytes.size());
    terms.Mode = kept.ModeKnown ? static_cast<int>(ModeForCopy(kept.Mode, false)) : -1;
    terms.Replaces = expected;
    TKNSideResult saved = WriteWhole(side, file.Path, bytes, terms);
    if (!saved) return saved.Kind == TKNSideError::Changed ? ChangedSinceFetched(shown) : saved;

    // The next save replaces the file just written. Should it not be seen now, nothing is
    // known of it, and the next save is refused until the user confirms it.
    if (!side.Stat(file.Path, file.Entry)) {
        file.Entry = TKNSideEntry();
        file.Entry.Kind = TKNEntryKind::Other;
        file.Entry.Size = -1;
    }
    return TKNSideResult::Ok();
}

}  // namespace kn
