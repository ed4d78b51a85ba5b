// Symbol visibility of the product libraries that the library imports.
#pragma once

#define QVI_API __attribute__((visibility("default")))
