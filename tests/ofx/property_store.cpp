#include "tests/ofx/property_store.h"

#include <mutex>
#include <stdexcept>

namespace ofx_test {
namespace {

std::mutex refused_lock;

// What a suite call stores for a value of type T.
template <class T>
struct Stored {
    using type = T;
};
template <>
struct Stored<const char*> {
    using type = std::string;
};
template <>
struct Stored<char*> {
    using type = std::string;
};

template <class T>
OfxStatus set_value(PropertySet& set, const char* name, int index, T value) {
    return set.suite_set(name, index, value);
}

template <class T>
OfxStatus set_values(PropertySet& set, const char* name, int count, const T* values) {
    for (int i = 0; i < count; ++i) {
        if (const OfxStatus status = set.suite_set(name, i, values[i])) {
            return status;
        }
    }
    return kOfxStatOK;
}

template <class T>
OfxStatus get_values(const PropertySet& set, const char* name, int count, T* values) {
    for (int i = 0; i < count; ++i) {
        if (const OfxStatus status = set.suite_get(name, i, values + i)) {
            return status;
        }
    }
    return kOfxStatOK;
}

PropertySet& set_of(OfxPropertySetHandle handle) {
    return *PropertySet::of(handle);
}

}  // namespace

void PropertySet::define(const std::string& name, PropertyValue value) {
    values_[name] = std::move(value);
}

template <class T>
static const T& element(const std::map<std::string, PropertyValue>& values, const std::string& name,
                        int index) {
    const auto& list = std::get<std::vector<T>>(values.at(name));
    return list.at(static_cast<std::size_t>(index));
}

int PropertySet::get_int(const std::string& name, int index) const {
    return element<int>(values_, name, index);
}

double PropertySet::get_double(const std::string& name, int index) const {
    return element<double>(values_, name, index);
}

std::string PropertySet::get_string(const std::string& name, int index) const {
    return element<std::string>(values_, name, index);
}

void* PropertySet::get_pointer(const std::string& name, int index) const {
    return element<void*>(values_, name, index);
}

int PropertySet::dimension(const std::string& name) const {
    return std::visit([](const auto& list) { return static_cast<int>(list.size()); },
                      values_.at(name));
}

template <class T>
OfxStatus PropertySet::suite_set(const char* name, int index, T value) {
    using Value = typename Stored<T>::type;
    const auto found = values_.find(name ? name : "");
    if (found == values_.end()) {
        const std::lock_guard<std::mutex> lock(refused_lock);
        refused_names().insert(name ? name : "(null)");
        return kOfxStatErrUnknown;
    }
    auto* list = std::get_if<std::vector<Value>>(&found->second);
    if (!list) {
        return kOfxStatErrValue;
    }
    if (index < 0 || static_cast<std::size_t>(index) > list->size()) {
        return kOfxStatErrBadIndex;
    }
    if (static_cast<std::size_t>(index) == list->size()) {
        list->emplace_back();
    }
    if constexpr (std::is_same_v<Value, std::string>) {
        (*list)[static_cast<std::size_t>(index)] = value ? value : "";
    } else {
        (*list)[static_cast<std::size_t>(index)] = value;
    }
    return kOfxStatOK;
}

template <class T>
OfxStatus PropertySet::suite_get(const char* name, int index, T* value) const {
    using Value = typename Stored<T>::type;
    const auto found = values_.find(name ? name : "");
    if (found == values_.end() || !value) {
        return kOfxStatErrUnknown;
    }
    const auto* list = std::get_if<std::vector<Value>>(&found->second);
    if (!list) {
        return kOfxStatErrValue;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= list->size()) {
        return kOfxStatErrBadIndex;
    }
    if constexpr (std::is_same_v<Value, std::string>) {
        *value = const_cast<char*>((*list)[static_cast<std::size_t>(index)].c_str());
    } else {
        *value = (*list)[static_cast<std::size_t>(index)];
    }
    return kOfxStatOK;
}

OfxStatus PropertySet::suite_dimension(const char* name, int* count) const {
    const auto found = values_.find(name ? name : "");
    if (found == values_.end() || !count) {
        return kOfxStatErrUnknown;
    }
    *count =
        std::visit([](const auto& list) { return static_cast<int>(list.size()); }, found->second);
    return kOfxStatOK;
}

std::set<std::string>& PropertySet::refused_names() {
    static std::set<std::string> names;
    return names;
}

const OfxPropertySuiteV1 kPropertySuite = {
    [](OfxPropertySetHandle h, const char* n, int i, void* v) {
        return set_value(set_of(h), n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, const char* v) {
        return set_value(set_of(h), n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, double v) {
        return set_value(set_of(h), n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, int v) {
        return set_value(set_of(h), n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, void* const* v) {
        return set_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, const char* const* v) {
        return set_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, const double* v) {
        return set_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, const int* v) {
        return set_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, void** v) {
        return set_of(h).suite_get(n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, char** v) {
        return set_of(h).suite_get(n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, double* v) {
        return set_of(h).suite_get(n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int i, int* v) {
        return set_of(h).suite_get(n, i, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, void** v) {
        return get_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, char** v) {
        return get_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, double* v) {
        return get_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n, int c, int* v) {
        return get_values(set_of(h), n, c, v);
    },
    [](OfxPropertySetHandle h, const char* n) {
        return set_of(h).has(n ? n : "") ? kOfxStatOK : kOfxStatErrUnknown;
    },
    [](OfxPropertySetHandle h, const char* n, int* c) { return set_of(h).suite_dimension(n, c); },
};

}  // namespace ofx_test
