#include "ofx/property_access.h"

#include "ofx/ofx_failure.h"

namespace qb_ofx {

void PropertyAccess::check(OfxStatus status, const char* name) const {
    if (status != kOfxStatOK) {
        throw OfxFailure(status == kOfxStatErrMemory ? kOfxStatErrMemory : kOfxStatFailed,
                         std::string("the host refused the property ") + name + " (status " +
                             std::to_string(status) + ")");
    }
}

std::string PropertyAccess::string(const char* name, int index) const {
    char* value = nullptr;
    check(suite_.propGetString(set_, name, index, &value), name);
    return value ? value : "";
}

std::string PropertyAccess::string_or(const char* name, const std::string& fallback) const {
    char* value = nullptr;
    if (suite_.propGetString(set_, name, 0, &value) != kOfxStatOK || !value) {
        return fallback;
    }
    return value;
}

int PropertyAccess::integer(const char* name, int index) const {
    int value = 0;
    check(suite_.propGetInt(set_, name, index, &value), name);
    return value;
}

int PropertyAccess::integer_or(const char* name, int fallback) const {
    int value = 0;
    return suite_.propGetInt(set_, name, 0, &value) == kOfxStatOK ? value : fallback;
}

double PropertyAccess::real(const char* name, int index) const {
    double value = 0.0;
    check(suite_.propGetDouble(set_, name, index, &value), name);
    return value;
}

double PropertyAccess::real_or(const char* name, int index, double fallback) const {
    double value = 0.0;
    return suite_.propGetDouble(set_, name, index, &value) == kOfxStatOK ? value : fallback;
}

void* PropertyAccess::pointer(const char* name) const {
    void* value = nullptr;
    check(suite_.propGetPointer(set_, name, 0, &value), name);
    return value;
}

OfxRectI PropertyAccess::rect_i(const char* name) const {
    OfxRectI rect{};
    check(suite_.propGetIntN(set_, name, 4, &rect.x1), name);
    return rect;
}

OfxRectD PropertyAccess::rect_d(const char* name) const {
    OfxRectD rect{};
    check(suite_.propGetDoubleN(set_, name, 4, &rect.x1), name);
    return rect;
}

void PropertyAccess::set(const char* name, const char* value, int index) const {
    check(suite_.propSetString(set_, name, index, value), name);
}

void PropertyAccess::set(const char* name, const std::string& value, int index) const {
    set(name, value.c_str(), index);
}

void PropertyAccess::set(const char* name, int value, int index) const {
    check(suite_.propSetInt(set_, name, index, value), name);
}

void PropertyAccess::set(const char* name, double value, int index) const {
    check(suite_.propSetDouble(set_, name, index, value), name);
}

void PropertyAccess::set_strings(const char* name,
                                 std::initializer_list<const char*> values) const {
    int index = 0;
    for (const char* value : values) {
        set(name, value, index++);
    }
}

void PropertyAccess::set(const char* name, const OfxRectD& value) const {
    check(suite_.propSetDoubleN(set_, name, 4, &value.x1), name);
}

}  // namespace qb_ofx
