#pragma once
// The readers read files, so every input is written to a file of this
// process's own first.

#include <cstddef>
#include <cstdint>
#include <string>

const std::string& WriteFuzzInput(const std::uint8_t* data, std::size_t size);
