// A failure that the host should see as one of its own statuses, with a message for the user
// (empty: nothing worth telling, as when the host itself asked the render to stop).
#ifndef QB_OFX_OFX_FAILURE_H
#define QB_OFX_OFX_FAILURE_H

#include <stdexcept>
#include <string>

#include "ofx/api/ofx_core.h"

namespace qb_ofx {

class OfxFailure : public std::runtime_error {
  public:
    OfxFailure(OfxStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    OfxStatus status() const { return status_; }

  private:
    OfxStatus status_;
};

}  // namespace qb_ofx

#endif
