// Property sets as a strict host keeps them: each object starts with the properties its kind
// has, a plug-in may change those and no others, and reading one that does not exist is an
// error. Every refused name is remembered, so that a test can show the plug-in set nothing a
// host of the standard would refuse.
#ifndef QB_TESTS_OFX_PROPERTY_STORE_H
#define QB_TESTS_OFX_PROPERTY_STORE_H

#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "ofx/api/ofx_api.h"

namespace ofx_test {

using PropertyValue = std::variant<std::vector<int>, std::vector<double>, std::vector<std::string>,
                                   std::vector<void*>>;

class PropertySet {
  public:
    // A property of the set's kind, with its value before anyone sets it.
    void define(const std::string& name, PropertyValue value);
    bool has(const std::string& name) const { return values_.count(name) != 0; }

    // The host's own access, which may define as it sets.
    void set_int(const std::string& name, std::vector<int> value) { values_[name] = value; }
    void set_double(const std::string& name, std::vector<double> value) { values_[name] = value; }
    void set_string(const std::string& name, std::vector<std::string> value) {
        values_[name] = value;
    }
    void set_pointer(const std::string& name, std::vector<void*> value) { values_[name] = value; }
    int get_int(const std::string& name, int index = 0) const;
    double get_double(const std::string& name, int index = 0) const;
    std::string get_string(const std::string& name, int index = 0) const;
    void* get_pointer(const std::string& name, int index = 0) const;
    int dimension(const std::string& name) const;

    OfxPropertySetHandle handle() { return reinterpret_cast<OfxPropertySetHandle>(this); }
    static PropertySet* of(OfxPropertySetHandle handle) {
        return reinterpret_cast<PropertySet*>(handle);
    }

    // What the suite does: typed access by index, with the standard's answers for a missing
    // property (kOfxStatErrUnknown), a wrong type (kOfxStatErrValue) and an index past the end
    // (kOfxStatErrBadIndex; a set one past the end grows the property).
    template <class T>
    OfxStatus suite_set(const char* name, int index, T value);
    template <class T>
    OfxStatus suite_get(const char* name, int index, T* value) const;
    OfxStatus suite_dimension(const char* name, int* count) const;

    // Names a plug-in tried to set that this set does not have, over all sets.
    static std::set<std::string>& refused_names();

  private:
    std::map<std::string, PropertyValue> values_;
};

extern const OfxPropertySuiteV1 kPropertySuite;

}  // namespace ofx_test

#endif
