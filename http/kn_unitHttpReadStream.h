// A file read as the streamed body of a GET, for every kind of side that speaks HTTP: bytes as
// they arrive, the end only once the reply completed with 200, a stop of the side's context
// seen between reads. The stream uses the side's client and context: it must not outlive them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "http/kn_unitHttpClient.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNHttpReadStream final : public TKNReadStream {
public:
    // How the side words a failed reply: `what` failed, and why.
    using TFailure = std::function<TKNSideResult(const std::string& what, const TKNHttpExchange& reply)>;

    TKNHttpReadStream(const TKNSideContext& context, std::shared_ptr<TKNHttpExchange> get, std::string shown,
                      TFailure failure);
    ~TKNHttpReadStream() override;
    int64_t Read(char* buffer, std::size_t size, TKNSideResult& result) override;

private:
    const TKNSideContext& context_;
    std::shared_ptr<TKNHttpExchange> get_;
    std::string shown_;
    TFailure failure_;
};

}  // namespace kn
