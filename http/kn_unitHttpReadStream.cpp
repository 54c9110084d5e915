#include "http/kn_unitHttpReadStream.h"

#include <utility>

#include "side/kn_unitSidePath.h"

namespace kn {

TKNHttpReadStream::TKNHttpReadStream(const TKNSideContext& context, std::shared_ptr<TKNHttpExchange> get,
                                     std::string shown, TFailure failure)
    : context_(context), get_(std::move(get)), shown_(std::move(shown)), failure_(std::move(failure))
{
}

TKNHttpReadStream::~TKNHttpReadStream()
{
    get_->Cancel();
}

int64_t TKNHttpReadStream::Read(char* buffer, std::size_t size, TKNSideResult& result)
{
    if (context_.Stopped()) {
        result = TKNSideResult::Fail(TKNSideError::Stopped, "Stopped.");
        return -1;
    }
    const int64_t n = get_->Pull(buffer, size);
    if (n > 0) return n;
    get_->Wait();
    if (get_->Fault() == TKNHttpFault::None && get_->Status() == 200) return 0;
    result = failure_("Cannot read " + Quoted(shown_), *get_);
    return -1;
}

}  // namespace kn
