#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The customer directory under "./cust/": the category index (category name -> category file name),
// one category file per category (customer name -> phone number) and one notes file per customer.
// Names and contents are GBK; the file names made from them are UTF-8, as everywhere on Linux.

inline constexpr const char* customer_dir = "./cust/";
inline constexpr const char* category_index_file = "./cust/custindex";
inline constexpr const char* customer_section = "cust";

// Creates "./cust/"; an existing directory or a failure is ignored.
void make_customer_dir();

// "./cust/" + the category file name, converted from GBK to UTF-8 for the file system. Bytes that are
// not GBK are kept as they are rather than replaced by "?", so two such names do not share a file.
std::string category_file_path(std::string_view file_gbk);
// "./cust/" + category file name + "_" + customer name, converted likewise.
std::string notes_file_path(std::string_view file_gbk, std::string_view customer_gbk);

// Size limits, in GBK bytes as the names are stored.
inline constexpr std::size_t max_name_bytes = 99;
inline constexpr std::size_t max_notes_path_bytes = 139;

// Whether a (cleaned) name can become a file name: 1 to 99 bytes and not "." or "..". A category name
// must besides not be "custindex", whose category file would be the index itself.
bool usable_customer_name(std::string_view name_gbk);
bool usable_category_name(std::string_view name_gbk);
// Whether "./cust/" + file + "_" + customer stays within 139 bytes.
bool notes_path_fits(std::string_view file_gbk, std::string_view customer_gbk);

std::string category_index_read(std::string_view category, std::string_view default_value, std::size_t buffer_size);
// nullopt deletes the category's entry.
[[nodiscard]] bool category_index_write(std::string_view category, const std::optional<std::string>& file_gbk);

// One customer of a category file. Submission resolves a customer token with
// category_read(category, customer, customer, 512): a missing file or key gives the name itself back.
std::string category_read(std::string_view file_gbk, std::string_view customer, std::string_view default_value,
                          std::size_t buffer_size);
// nullopt deletes the customer's entry.
[[nodiscard]] bool category_write(std::string_view file_gbk, std::string_view customer,
                                  const std::optional<std::string>& phone);

// Notes files are plain text in text mode. nullopt when the file cannot be opened.
std::optional<std::string> read_notes(std::string_view file_gbk, std::string_view customer_gbk);
[[nodiscard]] bool write_notes(std::string_view file_gbk, std::string_view customer_gbk, std::string_view text);
[[nodiscard]] bool remove_notes(std::string_view file_gbk, std::string_view customer_gbk);
