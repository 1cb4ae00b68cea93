#pragma once

wchar_t* MD5File(const wchar_t* path);
