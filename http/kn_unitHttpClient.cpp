#include "http/kn_unitHttpClient.h"

#include <curl/curl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "http/kn_unitHttpTls.h"

namespace kn {

namespace {

// What waits in a streamed body's buffer, each way, before the other end must wait.
constexpr std::size_t kBufferLimit = 1 << 20;

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Bracketed(const std::string& host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

std::string TKNHttpEndpoint::ServerKey() const
{
    return Bracketed(Host) + ":" + std::to_string(Port);
}

std::string TKNHttpEndpoint::Origin() const
{
    return std::string(Tls ? "https://" : "http://") + ServerKey();
}

// libcurl's callbacks, run on the client's thread with the client's lock taken inside.
struct TKNHttpCallbacks {
    static std::size_t ReadBody(char* buffer, std::size_t size, std::size_t count, void* data)
    {
        auto* ex = static_cast<TKNHttpExchange*>(data);
        const std::size_t room = size * count;
        std::lock_guard<std::mutex> lock(ex->client_.mutex_);
        if (!ex->request_.Streamed) {
            const std::size_t n = std::min(room, ex->request_.Body.size() - ex->bodyAt_);
            std::memcpy(buffer, ex->request_.Body.data() + ex->bodyAt_, n);
            ex->bodyAt_ += n;
            return n;
        }
        // A body of known size ends there, whatever more was pushed (the side compares sizes).
        const int64_t whole = ex->request_.BodySize;
        if (whole >= 0 && ex->sent_ >= whole) return 0;
        if (ex->upload_.empty() && ex->padded_ && whole >= 0) {
            const std::size_t n = std::min(room, static_cast<std::size_t>(whole - ex->sent_));
            std::memset(buffer, 0, n);
            ex->sent_ += static_cast<int64_t>(n);
            return n;
        }
        if (ex->upload_.empty()) {
            if (ex->bodyEnded_) return 0;
            ex->uploadPaused_ = true;
            return CURL_READFUNC_PAUSE;
        }
        std::size_t n = std::min(room, ex->upload_.size());
        if (whole >= 0) n = std::min(n, static_cast<std::size_t>(whole - ex->sent_));
        std::memcpy(buffer, ex->upload_.data(), n);
        ex->upload_.erase(0, n);
        ex->sent_ += static_cast<int64_t>(n);
        ex->client_.changed_.notify_all();
        return n;
    }

    // A request sent again on a new connection (the server closed the kept one) starts its body
    // over: a whole body can, a streamed one only before any of it left.
    static int SeekBody(void* data, curl_off_t offset, int origin)
    {
        auto* ex = static_cast<TKNHttpExchange*>(data);
        std::lock_guard<std::mutex> lock(ex->client_.mutex_);
        if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
        if (!ex->request_.Streamed && static_cast<std::size_t>(offset) <= ex->request_.Body.size()) {
            ex->bodyAt_ = static_cast<std::size_t>(offset);
            return CURL_SEEKFUNC_OK;
        }
        return ex->request_.Streamed && offset == 0 && ex->sent_ == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_CANTSEEK;
    }

    static std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto* ex = static_cast<TKNHttpExchange*>(user);
        const std::size_t n = size * count;
        std::lock_guard<std::mutex> lock(ex->client_.mutex_);
        if (!ex->request_.StreamReply || ex->status_ >= 300) {
            ex->body_.append(data, n);
            return n;
        }
        if (ex->download_.size() >= kBufferLimit) {
            ex->downloadPaused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        ex->download_.append(data, n);
        ex->client_.changed_.notify_all();
        return n;
    }

    static std::size_t Header(char* data, std::size_t size, std::size_t count, void* user)
    {
        auto* ex = static_cast<TKNHttpExchange*>(user);
        const std::string line = Trimmed(std::string(data, size * count));
        std::lock_guard<std::mutex> lock(ex->client_.mutex_);
        if (line.rfind("HTTP/", 0) == 0) {
            ex->headers_.clear();  // a new reply (after "100 Continue")
            const std::size_t space = line.find(' ');
            ex->status_ = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
        } else if (!line.empty()) {
            ex->headers_.push_back(line);
        }
        return size * count;
    }

    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* ex = static_cast<TKNHttpExchange*>(user);
        std::lock_guard<std::mutex> lock(ex->client_.mutex_);
        const std::atomic<bool>* stop = ex->client_.stop_;
        return ex->cancelled_ || (!ex->request_.IgnoresStop && stop && stop->load(std::memory_order_relaxed)) ? 1 : 0;
    }
};

struct TKNHttpClient::TImpl {
    CURLM* Multi = nullptr;
    std::thread Thread;
    bool Quit = false;
    std::vector<std::shared_ptr<TKNHttpExchange>> Starting, Active;
};

TKNHttpExchange::TKNHttpExchange(TKNHttpClient& client) : client_(client), judge_(std::make_unique<TKNHttpTlsJudge>())
{
}

TKNHttpExchange::~TKNHttpExchange() = default;

bool TKNHttpExchange::Push(const char* data, std::size_t size)
{
    {
        std::unique_lock<std::mutex> lock(client_.mutex_);
        client_.changed_.wait(lock, [&] { return done_ || cancelled_ || upload_.size() < kBufferLimit; });
        if (done_ || cancelled_) return false;
        upload_.append(data, size);
        wake_ = true;
    }
    client_.Wake();
    return true;
}

void TKNHttpExchange::EndBody()
{
    {
        std::lock_guard<std::mutex> lock(client_.mutex_);
        bodyEnded_ = true;
        wake_ = true;
    }
    client_.Wake();
}

void TKNHttpExchange::EndEarly()
{
    {
        std::lock_guard<std::mutex> lock(client_.mutex_);
        bodyEnded_ = padded_ = true;
        request_.IgnoresStop = true;
        wake_ = true;
    }
    client_.Wake();
}

int64_t TKNHttpExchange::Pull(char* buffer, std::size_t size)
{
    std::size_t n = 0;
    {
        std::unique_lock<std::mutex> lock(client_.mutex_);
        client_.changed_.wait(lock, [&] { return done_ || !download_.empty(); });
        n = std::min(size, download_.size());
        std::memcpy(buffer, download_.data(), n);
        download_.erase(0, n);
        if (!downloadPaused_) return static_cast<int64_t>(n);
        wake_ = true;
    }
    client_.Wake();
    return static_cast<int64_t>(n);
}

void TKNHttpExchange::Wait()
{
    std::unique_lock<std::mutex> lock(client_.mutex_);
    client_.changed_.wait(lock, [&] { return done_; });
}

bool TKNHttpExchange::Done() const
{
    std::lock_guard<std::mutex> lock(client_.mutex_);
    return done_;
}

void TKNHttpExchange::Cancel()
{
    {
        std::lock_guard<std::mutex> lock(client_.mutex_);
        if (done_) return;
        cancelled_ = true;
        wake_ = true;
    }
    client_.Wake();
}

std::string TKNHttpExchange::Header(const std::string& name) const
{
    for (const std::string& line : headers_) {
        const std::size_t colon = line.find(':');
        if (colon != name.size() || strncasecmp(line.c_str(), name.c_str(), colon) != 0) continue;
        const std::size_t start = line.find_first_not_of(' ', colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return {};
}

TKNHttpClient::TKNHttpClient(TKNHttpEndpoint endpoint, const std::atomic<bool>* stop, int connections)
    : endpoint_(std::move(endpoint)), stop_(stop), impl_(std::make_unique<TImpl>())
{
    GlobalInit();
    owner_ = static_cast<int>(::getpid());
    impl_->Multi = curl_multi_init();
    curl_multi_setopt(impl_->Multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(connections));
    curl_multi_setopt(impl_->Multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(connections));
    curl_multi_setopt(impl_->Multi, CURLMOPT_MAXCONNECTS, static_cast<long>(connections));
    impl_->Thread = std::thread([this] { Loop(); });
}

TKNHttpClient::~TKNHttpClient()
{
    if (!Usable()) {
        static_cast<void>(impl_.release());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        impl_->Quit = true;
    }
    Wake();
    impl_->Thread.join();
    for (const auto& ex : impl_->Active) {
        curl_multi_remove_handle(impl_->Multi, ex->easy_);
        curl_easy_cleanup(ex->easy_);
        curl_slist_free_all(static_cast<curl_slist*>(ex->headerList_));
    }
    curl_multi_cleanup(impl_->Multi);
}

void TKNHttpClient::Wake()
{
    curl_multi_wakeup(impl_->Multi);
}

std::shared_ptr<TKNHttpExchange> TKNHttpClient::Start(TKNHttpRequest request)
{
    std::shared_ptr<TKNHttpExchange> ex(new TKNHttpExchange(*this));
    ex->request_ = std::move(request);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        impl_->Starting.push_back(ex);
    }
    Wake();
    return ex;
}

std::shared_ptr<TKNHttpExchange> TKNHttpClient::Run(TKNHttpRequest request)
{
    std::shared_ptr<TKNHttpExchange> ex = Start(std::move(request));
    ex->Wait();
    return ex;
}

bool TKNHttpClient::Usable() const
{
    return static_cast<int>(::getpid()) == owner_;
}

void TKNHttpClient::SetStop(const std::atomic<bool>* stop)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = stop;
}

uint64_t TKNHttpClient::Ends() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ends_;
}

void TKNHttpClient::WaitForAnEnd(uint64_t seen)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(1), [&] { return ends_ != seen; });
}

namespace {

void* MakeEasy(TKNHttpExchange& ex, const TKNHttpRequest& request, const TKNHttpEndpoint& endpoint,
               TKNHttpTlsJudge& judge, char* error, void*& headerList)
{
    CURL* easy = curl_easy_init();
    const std::string url = endpoint.Origin() + request.Target;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 120L);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &ex);
    if (request.Method == "HEAD")
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else if (request.Method != "GET")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.Method.c_str());
    if (request.Streamed || !request.Body.empty() || request.Method == "PUT") {
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        const curl_off_t size = request.Streamed ? request.BodySize : static_cast<curl_off_t>(request.Body.size());
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, size);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, TKNHttpCallbacks::ReadBody);
        curl_easy_setopt(easy, CURLOPT_READDATA, &ex);
        curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, TKNHttpCallbacks::SeekBody);
        curl_easy_setopt(easy, CURLOPT_SEEKDATA, &ex);
    }
    // No wait for "100 Continue"; but libcurl's SigV4 signs the empty header that removes it, which
    // the server never sees: a signed request keeps it (libcurl asks it only above 1 MiB).
    curl_slist* headers = endpoint.Sigv4.empty() ? curl_slist_append(nullptr, "Expect:")
                                                 : curl_slist_append(nullptr, "x-amz-content-sha256: UNSIGNED-PAYLOAD");
    for (const std::string& header : request.Headers) headers = curl_slist_append(headers, header.c_str());
    headerList = headers;
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, TKNHttpCallbacks::Header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &ex);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, TKNHttpCallbacks::WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &ex);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, TKNHttpCallbacks::Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &ex);
    if (!endpoint.Sigv4.empty()) {
        curl_easy_setopt(easy, CURLOPT_AWS_SIGV4, endpoint.Sigv4.c_str());
        curl_easy_setopt(easy, CURLOPT_USERNAME, endpoint.User.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, endpoint.Password.c_str());
    } else if (endpoint.HasUser) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(easy, CURLOPT_USERNAME, endpoint.User.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, endpoint.Password.c_str());
    }
    if (endpoint.Tls) {
        judge.Host = endpoint.Host;
        judge.Pinned = endpoint.Pinned;
        // The judge checks the chain and the host itself, or the pin (kn_unitHttpTls.h).
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, InstallTlsJudge);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &judge);
    }
    return easy;
}

bool TlsRefusal(CURLcode code)
{
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR || code == CURLE_SSL_CERTPROBLEM ||
           code == CURLE_SSL_CACERT_BADFILE;
}

}  // namespace

void TKNHttpClient::Loop()
{
    for (;;) {
        std::vector<std::shared_ptr<TKNHttpExchange>> adding;
        std::vector<CURL*> resuming;
        std::vector<TKNHttpExchange*> cancelling;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (impl_->Quit) break;
            adding.swap(impl_->Starting);
            for (const auto& ex : impl_->Active) {
                if (!ex->wake_) continue;
                ex->wake_ = false;
                if (ex->cancelled_) cancelling.push_back(ex.get());
                const bool send = ex->uploadPaused_ && (!ex->upload_.empty() || ex->bodyEnded_);
                const bool take = ex->downloadPaused_ && ex->download_.size() < kBufferLimit;
                if (send) ex->uploadPaused_ = false;
                if (take) ex->downloadPaused_ = false;
                if (send || take) resuming.push_back(static_cast<CURL*>(ex->easy_));
            }
        }
        for (const auto& ex : adding) {
            ex->easy_ = MakeEasy(*ex, ex->request_, endpoint_, *ex->judge_, ex->error_, ex->headerList_);
            curl_multi_add_handle(impl_->Multi, ex->easy_);
            impl_->Active.push_back(ex);
        }
        for (CURL* easy : resuming) curl_easy_pause(easy, CURLPAUSE_CONT);
        for (TKNHttpExchange* ex : cancelling) Finish(ex, CURLE_ABORTED_BY_CALLBACK);
        int running = 0;
        curl_multi_perform(impl_->Multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(impl_->Multi, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            TKNHttpExchange* ex = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &ex);
            Finish(ex, msg->data.result);
        }
        curl_multi_poll(impl_->Multi, nullptr, 0, 1000, nullptr);
    }
}

void TKNHttpClient::Finish(TKNHttpExchange* ex, int result)
{
    const auto code = static_cast<CURLcode>(result);
    CURL* easy = static_cast<CURL*>(ex->easy_);
    std::shared_ptr<TKNHttpExchange> keep;
    for (auto it = impl_->Active.begin(); it != impl_->Active.end(); ++it)
        if (it->get() == ex) {
            keep = *it;
            impl_->Active.erase(it);
            break;
        }
    if (!keep) return;
    curl_multi_remove_handle(impl_->Multi, easy);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string server = endpoint_.ServerKey();
        ex->fingerprint_ = ex->judge_->Fingerprint;
        if (code == CURLE_OK && ex->status_ >= 200) {
            ex->fault_ = TKNHttpFault::None;
        } else if (code == CURLE_ABORTED_BY_CALLBACK) {
            ex->fault_ = TKNHttpFault::Stopped;
            ex->faultText_ = "Stopped.";
        } else if (TlsRefusal(code) && !ex->judge_->Fingerprint.empty() && !ex->judge_->SystemTrusted) {
            const bool other = !endpoint_.Pinned.empty() && endpoint_.Pinned != ex->judge_->Fingerprint;
            ex->fault_ = other ? TKNHttpFault::Changed : TKNHttpFault::Untrusted;
            ex->faultText_ = other ? "The certificate of " + server + " (" + ex->judge_->Fingerprint +
                                         ") is not the one you trusted (" + endpoint_.Pinned + ")."
                                   : "The certificate of " + server + " is not trusted (" + ex->judge_->Problem +
                                         "): " + ex->judge_->Fingerprint;
        } else {
            ex->fault_ = TKNHttpFault::Connection;
            const std::string detail = ex->error_[0] ? ex->error_ : curl_easy_strerror(code);
            ex->faultText_ = "No reply from " + server + ": " + detail;
        }
        ex->done_ = true;
        ++ends_;
    }
    changed_.notify_all();
    curl_easy_cleanup(easy);
    curl_slist_free_all(static_cast<curl_slist*>(ex->headerList_));
    ex->easy_ = nullptr;
    ex->headerList_ = nullptr;
}

bool ReadHttpsCertificate(const TKNHttpEndpoint& endpoint, TKNHttpCertificate& certificate, std::string& error)
{
    GlobalInit();
    TKNHttpTlsJudge judge;
    judge.Host = endpoint.Host;
    judge.InspectOnly = true;
    char buffer[CURL_ERROR_SIZE] = {};
    CURL* easy = curl_easy_init();
    const std::string url = "https://" + endpoint.ServerKey() + "/";
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, buffer);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, InstallTlsJudge);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &judge);
    const CURLcode code = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    if (code != CURLE_OK || judge.Fingerprint.empty()) {
        error = "Cannot reach " + endpoint.ServerKey() + ": " + (buffer[0] ? buffer : curl_easy_strerror(code));
        return false;
    }
    certificate.Fingerprint = judge.Fingerprint;
    certificate.SystemTrusted = judge.SystemTrusted;
    certificate.Problem = judge.Problem;
    return true;
}

}  // namespace kn
