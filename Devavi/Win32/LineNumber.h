#pragma once

// The decimal text of a number ("%d") in one of ten rotating 32-byte buffers: each call takes the next buffer,
// so a result stays valid until ten further calls. One thread at a time.
const char* FormatLineNumber(int number);
