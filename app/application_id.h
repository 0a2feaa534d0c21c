#pragma once

#include <string>

// The name under which the product's programs share their global kernel
// objects: "ApplicationId" of the version resource, else its product name,
// else the program's file name. Built once.
const std::wstring& application_id();
