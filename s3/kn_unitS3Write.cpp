#include "s3/kn_unitS3Write.h"

#include "framework/vex_unitText.h"
#include "s3/kn_unitS3Side.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

bool Succeeded(const TKNHttpExchange& reply)
{
    return reply.Fault() == TKNHttpFault::None && reply.Status() >= 200 && reply.Status() <= 299;
}

std::string Unquoted(const std::string& etag)
{
    return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' ? etag.substr(1, etag.size() - 2) : etag;
}

}  // namespace

TKNSideResult OpenS3Write(TKNS3Side& side, const TKNSidePath& path, const TKNWriteTerms& terms,
                          std::unique_ptr<TKNWriteStream>& stream)
{
    stream = std::make_unique<TKNS3WriteStream>(side, path, terms);
    return TKNSideResult::Ok();
}

TKNS3WriteStream::TKNS3WriteStream(TKNS3Side& side, TKNSidePath path, TKNWriteTerms terms)
    : side_(side), path_(std::move(path)), terms_(std::move(terms))
{
    shown_ = side_.Shown(path_);
    multipart_ = terms_.Size < 0 || terms_.Size > kS3SinglePut;
    std::vector<std::string> headers{"Content-Type: application/octet-stream"};
    if (terms_.MTime >= 0) headers.push_back(TKNS3Side::TimeHeader(terms_.MTime, terms_.MTimeNsec));
    // Where the store honours conditions, they cover the time from this HEAD to the write.
    if (terms_.Replaces.Known && side_.Conditions())
        check_ = side_.Client().Start({"HEAD", side_.Target(path_), {}, {}});
    if (multipart_) {
        create_ = side_.Client().Start({"POST", side_.Target(path_, false, "uploads="), headers, {}});
    } else if (terms_.Size > 0) {
        for (std::string& condition : Conditions()) headers.push_back(std::move(condition));
        TKNHttpRequest put{"PUT", side_.Target(path_), headers, {}};
        put.Streamed = true;
        put.BodySize = terms_.Size;
        put_ = side_.Client().Start(std::move(put));
    }
}

TKNS3WriteStream::~TKNS3WriteStream()
{
    Abort();
}

std::vector<std::string> TKNS3WriteStream::Conditions() const
{
    const TKNExpected& expected = terms_.Replaces;
    if (!expected.Known || !side_.Conditions()) return {};
    if (!expected.Exists) return {"If-None-Match: *"};
    if (!expected.Version.empty()) return {"If-Match: " + expected.Version};
    return {};
}

TKNSideResult TKNS3WriteStream::Write(const char* data, std::size_t size)
{
    if (side_.Context().Stopped()) return TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
    if (!failure_) return failure_;
    if (done_) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " is written.");
    if (terms_.Size >= 0 && written_ + static_cast<int64_t>(size) > terms_.Size)
        return failure_ = TKNSideResult::Fail(
                   TKNSideError::Other, Quoted(shown_) + ": more bytes than its " + std::to_string(terms_.Size) + ".");
    written_ += static_cast<int64_t>(size);
    failure_ = multipart_ ? WritePart(data, size) : WriteSingle(data, size);
    return failure_;
}

TKNSideResult TKNS3WriteStream::WriteSingle(const char* data, std::size_t size)
{
    if (size == 0) return TKNSideResult::Ok();
    // The last byte waits for Commit: the store keeps the object only once the body is whole.
    const bool last = written_ == terms_.Size;
    if (last) {
        held_.assign(data + size - 1, 1);
        --size;
    }
    if (size == 0 || put_->Push(data, size)) return TKNSideResult::Ok();
    put_->Wait();
    return side_.Failure("Cannot write " + Quoted(shown_), *put_);
}

TKNSideResult TKNS3WriteStream::WritePart(const char* data, std::size_t size)
{
    while (size > 0) {
        const std::size_t n = std::min(size, kS3PartSize - part_.size());
        if (part_.capacity() < kS3PartSize) part_.reserve(kS3PartSize);
        part_.append(data, n);
        data += n;
        size -= n;
        if (part_.size() == kS3PartSize)
            if (TKNSideResult r = SendPart(); !r) return r;
    }
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3WriteStream::SendPart()
{
    if (uploadId_.empty()) {
        create_->Wait();
        std::string error;
        if (!Succeeded(*create_)) return side_.Failure("Cannot start the upload of " + Quoted(shown_), *create_);
        if (!ParseS3UploadId(create_->Body(), uploadId_, error))
            return TKNSideResult::Fail(TKNSideError::Other,
                                       "Cannot start the upload of " + Quoted(shown_) + ": " + error);
    }
    while (parts_.size() >= kS3PartsInFlight)
        if (TKNSideResult r = TakePart(); !r) return r;
    const std::size_t number = etags_.size() + parts_.size() + 1;
    const std::string query = "partNumber=" + std::to_string(number) + "&uploadId=" + vex::PercentEncoded(uploadId_);
    TKNHttpRequest put{"PUT", side_.Target(path_, false, query), {}, {}};
    put.Body.swap(part_);
    parts_.push_back(side_.Client().Start(std::move(put)));
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3WriteStream::TakePart()
{
    std::shared_ptr<TKNHttpExchange> part = std::move(parts_.front());
    parts_.pop_front();
    part->Wait();
    const std::string etag = Unquoted(part->Header("ETag"));
    if (!Succeeded(*part) || etag.empty())
        return side_.Failure("Cannot write part " + std::to_string(etags_.size() + 1) + " of " + Quoted(shown_), *part);
    etags_.push_back(etag);
    return TKNSideResult::Ok();
}

TKNSideResult TKNS3WriteStream::Check()
{
    if (!terms_.Replaces.Known) return TKNSideResult::Ok();
    TKNS3Head head;
    if (!check_) return side_.CheckNow(path_, terms_.Replaces, head);
    // The HEAD of the open, with the write's own condition behind it.
    check_->Wait();
    const std::shared_ptr<TKNHttpExchange> reply = std::move(check_);
    if (TKNSideResult r = side_.HeadReply(path_, *reply, head); !r) return r;
    return side_.CheckHead(path_, terms_.Replaces, head);
}

TKNSideResult TKNS3WriteStream::Commit()
{
    if (done_) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " was committed.");
    TKNSideResult result = failure_;
    if (result && terms_.Size >= 0 && written_ != terms_.Size)
        result = TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + ": " + std::to_string(written_) +
                                                              " bytes arrived of " + std::to_string(terms_.Size) + ".");
    if (result && side_.Context().Stopped()) result = TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
    if (result) result = multipart_ ? CommitMultipart() : CommitSingle();
    if (!result) {
        Abort();
        return result;
    }
    done_ = true;
    if (terms_.MTime >= 0) side_.RememberObject(path_, terms_.MTime, terms_.MTimeNsec);
    return result;
}

TKNSideResult TKNS3WriteStream::CommitSingle()
{
    if (TKNSideResult r = Check(); !r) return r;
    if (!put_) {
        // Nothing to stream: the empty object goes now, after the check.
        std::vector<std::string> headers{"Content-Type: application/octet-stream"};
        if (terms_.MTime >= 0) headers.push_back(TKNS3Side::TimeHeader(terms_.MTime, terms_.MTimeNsec));
        for (std::string& condition : Conditions()) headers.push_back(std::move(condition));
        put_ = side_.Client().Run({"PUT", side_.Target(path_), headers, {}});
    } else {
        put_->Push(held_.data(), held_.size());
        put_->EndBody();
        put_->Wait();
    }
    if (Succeeded(*put_)) return TKNSideResult::Ok();
    if (put_->Status() == 412 && put_->Fault() == TKNHttpFault::None) {
        // Refused although the HEAD just saw it unchanged: the store misapplies conditions.
        side_.Conditions() = false;
        return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison.");
    }
    return side_.Failure("Cannot write " + Quoted(shown_), *put_);
}

TKNSideResult TKNS3WriteStream::CommitMultipart()
{
    if (!part_.empty() || (etags_.empty() && parts_.empty()))
        if (TKNSideResult r = SendPart(); !r) return r;
    while (!parts_.empty())
        if (TKNSideResult r = TakePart(); !r) return r;
    if (TKNSideResult r = Check(); !r) return r;
    std::string body = "<CompleteMultipartUpload>";
    for (std::size_t i = 0; i < etags_.size(); ++i)
        body += "<Part><PartNumber>" + std::to_string(i + 1) + "</PartNumber><ETag>\"" + etags_[i] + "\"</ETag></Part>";
    body += "</CompleteMultipartUpload>";
    std::shared_ptr<TKNHttpExchange> complete =
        side_.Client().Run({"POST",
                            side_.Target(path_, false, "uploadId=" + vex::PercentEncoded(uploadId_)),
                            {"Content-Type: application/xml"},
                            body});
    // The store may answer 200 and still fail: the body then is an error.
    if (!Succeeded(*complete) || !S3ErrorCode(complete->Body()).empty())
        return side_.Failure("Cannot complete the upload of " + Quoted(shown_), *complete);
    uploadId_.clear();
    return TKNSideResult::Ok();
}

void TKNS3WriteStream::Abort()
{
    if (done_) return;
    done_ = true;
    if (put_) {
        put_->Cancel();
        put_->Wait();
    }
    if (check_) check_->Wait();
    for (const auto& part : parts_) part->Cancel();
    for (const auto& part : parts_) part->Wait();
    parts_.clear();
    if (create_ && uploadId_.empty()) {
        create_->Wait();
        std::string error;
        if (Succeeded(*create_)) ParseS3UploadId(create_->Body(), uploadId_, error);
    }
    if (uploadId_.empty()) return;
    // Left alone by the stop flag: the store would keep the parts.
    TKNHttpRequest abort{"DELETE", side_.Target(path_, false, "uploadId=" + vex::PercentEncoded(uploadId_)), {}, {}};
    abort.IgnoresStop = true;
    side_.Client().Run(std::move(abort));
    uploadId_.clear();
}

}  // namespace kn
