#pragma once
// An XML property-list writer and reader: dict, array, string, integer,
// real, true/false, data (base64) and date. Reading is meant for untrusted
// files: malformed input throws PropertyListError and never crashes.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

class PropertyListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PropertyValue {
public:
    using Array = std::vector<PropertyValue>;
    using Dictionary = std::map<std::string, PropertyValue>;
    using Data = std::vector<std::uint8_t>;
    // Whole seconds since the Unix epoch, in UTC.
    struct Date {
        std::int64_t unixSeconds = 0;
        bool operator==(const Date&) const = default;
    };
    enum class Kind { boolean, integer, real, string, data, date, array, dictionary };

    PropertyValue() : value_(Dictionary{}) {}
    PropertyValue(bool v) : value_(v) {}
    PropertyValue(int v) : value_(std::int64_t{v}) {}
    PropertyValue(std::int64_t v) : value_(v) {}
    PropertyValue(double v) : value_(v) {}
    PropertyValue(std::string v) : value_(std::move(v)) {}
    PropertyValue(const char* v) : value_(std::string(v)) {}
    PropertyValue(Data v) : value_(std::move(v)) {}
    PropertyValue(Date v) : value_(v) {}
    PropertyValue(Array v) : value_(std::move(v)) {}
    PropertyValue(Dictionary v) : value_(std::move(v)) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }

    const bool* boolean() const { return std::get_if<bool>(&value_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value_); }
    const double* real() const { return std::get_if<double>(&value_); }
    const std::string* string() const { return std::get_if<std::string>(&value_); }
    const Data* data() const { return std::get_if<Data>(&value_); }
    const Date* date() const { return std::get_if<Date>(&value_); }
    const Array* array() const { return std::get_if<Array>(&value_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&value_); }

    // The value under `key` when this is a dictionary holding it.
    const PropertyValue* find(const std::string& key) const;

    bool operator==(const PropertyValue&) const = default;

private:
    std::variant<bool, std::int64_t, double, std::string, Data, Date, Array, Dictionary> value_;
};

// The XML text of a property list whose root is `value`.
std::string writePropertyList(const PropertyValue& value);
// Parses an XML property list. Throws PropertyListError.
PropertyValue readPropertyList(std::string_view xml);

// File forms. Reading: none when the file is missing or does not parse.
// Writing is atomic (temporary file, fsync, rename); false on failure.
std::optional<PropertyValue> readPropertyListFile(const std::string& path);
bool writePropertyListFile(const std::string& path, const PropertyValue& value);

}  // namespace platform
