#include "s3/kn_unitS3Xml.h"

#include <expat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kn {

namespace {

// Every element with text only, as "Parent/Child" paths below the root, in document order.
struct TLeaf {
    std::string Path, Text;
};

struct TState {
    std::vector<std::string> Path;
    std::string Root, Text;
    std::vector<TLeaf> Leaves;
};

std::string Local(const XML_Char* name)
{
    std::string n(name);
    const std::size_t space = n.rfind(' ');
    return space == std::string::npos ? n : n.substr(space + 1);
}

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char**)
{
    auto* s = static_cast<TState*>(data);
    if (s->Path.empty() && s->Root.empty()) s->Root = Local(name);
    s->Path.push_back(Local(name));
    s->Text.clear();
}

void XMLCALL End(void* data, const XML_Char*)
{
    auto* s = static_cast<TState*>(data);
    std::string path;
    for (std::size_t i = 1; i < s->Path.size(); ++i) path += (i > 1 ? "/" : "") + s->Path[i];
    if (!path.empty()) s->Leaves.push_back({path, s->Text});
    s->Text.clear();
    s->Path.pop_back();
}

void XMLCALL Chars(void* data, const XML_Char* text, int length)
{
    static_cast<TState*>(data)->Text.append(text, static_cast<std::size_t>(length));
}

bool Parse(const std::string& xml, const char* root, TState& state, std::string& error)
{
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, Start, End);
    XML_SetCharacterDataHandler(parser, Chars);
    const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    if (!ok)
        error = std::string("the reply is not well-formed XML (") + XML_ErrorString(XML_GetErrorCode(parser)) + ")";
    XML_ParserFree(parser);
    if (ok && state.Root != root) {
        error = "the reply is not a " + std::string(root) + " (" + (state.Root.empty() ? "empty" : state.Root) + ")";
        return false;
    }
    return ok;
}

std::string Unquoted(const std::string& etag)
{
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' ? etag.substr(1, etag.size() - 2) : etag;
}

}  // namespace

bool ParseS3ListPage(const std::string& xml, TKNS3ListPage& page, std::string& error)
{
    TState s;
    if (!Parse(xml, "ListBucketResult", s, error)) return false;
    page = TKNS3ListPage();
    // A record's fields end before the record does: each is filled as its fields close.
    TKNS3Object object;
    for (const TLeaf& leaf : s.Leaves) {
        if (leaf.Path == "Contents/Key") object.Key = leaf.Text;
        if (leaf.Path == "Contents/LastModified") object.LastModified = leaf.Text;
        if (leaf.Path == "Contents/ETag") object.ETag = Unquoted(leaf.Text);
        if (leaf.Path == "Contents/Size") object.Size = std::strtoll(leaf.Text.c_str(), nullptr, 10);
        if (leaf.Path == "Contents") {
            page.Objects.push_back(object);
            object = TKNS3Object();
        }
        if (leaf.Path == "CommonPrefixes/Prefix") page.Prefixes.push_back(leaf.Text);
        if (leaf.Path == "IsTruncated") page.Truncated = leaf.Text == "true";
        if (leaf.Path == "NextContinuationToken") page.NextToken = leaf.Text;
    }
    if (page.Truncated && page.NextToken.empty()) {
        error = "the reply says more follows but gives no continuation token";
        return false;
    }
    return true;
}

bool ParseS3UploadId(const std::string& xml, std::string& uploadId, std::string& error)
{
    TState s;
    if (!Parse(xml, "InitiateMultipartUploadResult", s, error)) return false;
    for (const TLeaf& leaf : s.Leaves)
        if (leaf.Path == "UploadId") uploadId = leaf.Text;
    if (uploadId.empty()) error = "the reply gives no upload id";
    return !uploadId.empty();
}

bool ParseS3Uploads(const std::string& xml, std::vector<TKNS3Upload>& uploads, bool& truncated, std::string& error)
{
    TState s;
    if (!Parse(xml, "ListMultipartUploadsResult", s, error)) return false;
    uploads.clear();
    truncated = false;
    TKNS3Upload upload;
    for (const TLeaf& leaf : s.Leaves) {
        if (leaf.Path == "Upload/Key") upload.Key = leaf.Text;
        if (leaf.Path == "Upload/UploadId") upload.UploadId = leaf.Text;
        if (leaf.Path == "Upload/Initiated") upload.Initiated = leaf.Text;
        if (leaf.Path == "Upload") {
            uploads.push_back(upload);
            upload = TKNS3Upload();
        }
        if (leaf.Path == "IsTruncated") truncated = leaf.Text == "true";
    }
    return true;
}

std::string S3ErrorCode(const std::string& xml)
{
    TState s;
    std::string error;
    if (xml.empty() || !Parse(xml, "Error", s, error)) return {};
    for (const TLeaf& leaf : s.Leaves)
        if (leaf.Path == "Code") return leaf.Text;
    return {};
}

int64_t S3IsoTimeMs(const std::string& text)
{
    std::tm tm{};
    int year = 0, month = 0, ms = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &year, &month, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                    &tm.tm_sec) != 6)
        return -1;
    if (text.size() > 20 && text[19] == '.') std::sscanf(text.c_str() + 20, "%3d", &ms);
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    return static_cast<int64_t>(timegm(&tm)) * 1000 + ms;
}

}  // namespace kn
