#include "platform/HttpSessionObserved.h"

namespace zibbles::platform {

namespace {

class ObservedSession final : public HttpSession {
  public:
    ObservedSession(std::shared_ptr<HttpSession> session, RequestObserver observer)
        : session_(std::move(session)), observer_(std::make_shared<RequestObserver>(observer)) {}

    std::shared_ptr<DataTask> dataTask(HttpRequest request, HttpCompletion completion) override {
        HttpCompletion watched =
            [observer = observer_, url = request.url, timeout = request.timeoutInterval,
             completion = std::move(completion)](std::optional<std::string> body,
                                                 std::optional<HttpResponse> response,
                                                 std::optional<HttpError> error) {
                (*observer)(FinishedRequest{url, timeout, body, response, error});
                completion(std::move(body), std::move(response), std::move(error));
            };
        return session_->dataTask(std::move(request), std::move(watched));
    }

  private:
    std::shared_ptr<HttpSession> session_;
    std::shared_ptr<const RequestObserver> observer_;
};

} // namespace

std::shared_ptr<HttpSession> observeRequests(std::shared_ptr<HttpSession> session,
                                             RequestObserver observer) {
    return std::make_shared<ObservedSession>(std::move(session), std::move(observer));
}

} // namespace zibbles::platform
