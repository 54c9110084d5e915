#include "webdav/kn_unitWebdavXml.h"

#include <expat.h>

#include <cstdlib>
#include <cstring>

namespace kn {

namespace {

// Names come as "namespace local" (XML_ParserCreateNS with a space).
constexpr const char* kDav = "DAV: ";

struct TState {
    std::vector<TKNDavResponse>* Out = nullptr;
    std::vector<std::string> Path;  // the open elements
    std::string Text;
    bool Multistatus = false;
    TKNDavResponse Response;
    TKNDavResponse Found;  // the properties of the propstat being read
    bool FoundOwnTime = false;
    int PropstatStatus = 0;
};

bool IsDav(const std::string& name, const char* local)
{
    return name.size() == std::strlen(kDav) + std::strlen(local) && name.compare(0, std::strlen(kDav), kDav) == 0 &&
           name.compare(std::strlen(kDav), std::string::npos, local) == 0;
}

bool IsOwnTime(const std::string& name)
{
    return name == std::string(kDavOwnNamespace) + " " + kDavOwnTime;
}

// "HTTP/1.1 200 OK" gives 200.
int StatusOf(const std::string& line)
{
    const std::size_t space = line.find(' ');
    return space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
}

std::string Trim(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char**)
{
    auto* s = static_cast<TState*>(data);
    s->Path.emplace_back(name);
    s->Text.clear();
    const std::string& n = s->Path.back();
    if (IsDav(n, "multistatus")) s->Multistatus = true;
    if (IsDav(n, "response")) s->Response = TKNDavResponse();
    if (IsDav(n, "propstat")) {
        s->Found = TKNDavResponse();
        s->FoundOwnTime = false;
        s->PropstatStatus = 0;
    }
    if (IsDav(n, "collection") && s->Path.size() >= 2 && IsDav(s->Path[s->Path.size() - 2], "resourcetype"))
        s->Found.Collection = true;
}

// A property inside a propstat's prop.
void Property(TState* s, const std::string& n, const std::string& text)
{
    if (IsDav(n, "getcontentlength") && !text.empty()) {
        s->Found.HasLength = true;
        s->Found.Length = std::strtoll(text.c_str(), nullptr, 10);
    } else if (IsDav(n, "getlastmodified")) {
        s->Found.LastModified = text;
    } else if (IsDav(n, "getetag")) {
        s->Found.ETag = text;
    } else if (IsOwnTime(n)) {
        s->FoundOwnTime = true;
        s->Found.OwnTime = text;
    }
}

void EndPropstat(TState* s)
{
    TKNDavResponse& r = s->Response;
    if (s->FoundOwnTime) r.OwnTimeStatus = s->PropstatStatus;
    if (s->PropstatStatus < 200 || s->PropstatStatus > 299) return;
    r.Collection = r.Collection || s->Found.Collection;
    if (s->Found.HasLength) {
        r.HasLength = true;
        r.Length = s->Found.Length;
    }
    if (!s->Found.LastModified.empty()) r.LastModified = s->Found.LastModified;
    if (!s->Found.ETag.empty()) r.ETag = s->Found.ETag;
    if (s->FoundOwnTime && !s->Found.OwnTime.empty()) {
        r.HasOwnTime = true;
        r.OwnTime = s->Found.OwnTime;
    }
}

void XMLCALL End(void* data, const XML_Char*)
{
    auto* s = static_cast<TState*>(data);
    const std::string n = s->Path.back();
    const std::string text = Trim(s->Text);
    s->Path.pop_back();
    s->Text.clear();
    const std::string parent = s->Path.empty() ? std::string() : s->Path.back();
    if (IsDav(parent, "prop") && s->Path.size() >= 2 && IsDav(s->Path[s->Path.size() - 2], "propstat")) {
        Property(s, n, text);
    } else if (IsDav(n, "status") && IsDav(parent, "propstat")) {
        s->PropstatStatus = StatusOf(text);
    } else if (IsDav(n, "status") && IsDav(parent, "response")) {
        s->Response.Status = StatusOf(text);
    } else if (IsDav(n, "href") && IsDav(parent, "response")) {
        s->Response.Href = text;
    } else if (IsDav(n, "propstat")) {
        EndPropstat(s);
    } else if (IsDav(n, "response")) {
        s->Out->push_back(s->Response);
    }
}

void XMLCALL Characters(void* data, const XML_Char* text, int length)
{
    static_cast<TState*>(data)->Text.append(text, static_cast<std::size_t>(length));
}

}  // namespace

bool ParseMultistatus(const std::string& xml, std::vector<TKNDavResponse>& responses, std::string& error)
{
    responses.clear();
    TState state;
    state.Out = &responses;
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, Start, End);
    XML_SetCharacterDataHandler(parser, Characters);
    const bool parsed = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    if (!parsed)
        error = std::string("the reply is not well-formed XML (") + XML_ErrorString(XML_GetErrorCode(parser)) +
                " at line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ")";
    XML_ParserFree(parser);
    if (parsed && !state.Multistatus) error = "the reply holds no multistatus";
    return parsed && state.Multistatus;
}

}  // namespace kn
