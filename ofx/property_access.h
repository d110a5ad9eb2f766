// Typed reads and writes of a property set through the host's property suite. A read or write the
// host refuses throws OfxFailure with the property's name and the host's status, except where a
// fallback is given: optional properties read as the fallback when the host does not have them.
#ifndef QB_OFX_PROPERTY_ACCESS_H
#define QB_OFX_PROPERTY_ACCESS_H

#include <initializer_list>
#include <string>

#include "ofx/api/ofx_api.h"

namespace qb_ofx {

class PropertyAccess {
  public:
    PropertyAccess(const OfxPropertySuiteV1& suite, OfxPropertySetHandle set)
        : suite_(suite), set_(set) {}

    std::string string(const char* name, int index = 0) const;
    std::string string_or(const char* name, const std::string& fallback) const;
    int integer(const char* name, int index = 0) const;
    int integer_or(const char* name, int fallback) const;
    double real(const char* name, int index = 0) const;
    double real_or(const char* name, int index, double fallback) const;
    void* pointer(const char* name) const;
    OfxRectI rect_i(const char* name) const;
    OfxRectD rect_d(const char* name) const;

    void set(const char* name, const char* value, int index = 0) const;
    void set(const char* name, const std::string& value, int index = 0) const;
    void set(const char* name, int value, int index = 0) const;
    void set(const char* name, double value, int index = 0) const;
    void set_strings(const char* name, std::initializer_list<const char*> values) const;
    void set(const char* name, const OfxRectD& value) const;

  private:
    void check(OfxStatus status, const char* name) const;

    const OfxPropertySuiteV1& suite_;
    OfxPropertySetHandle set_;
};

}  // namespace qb_ofx

#endif
