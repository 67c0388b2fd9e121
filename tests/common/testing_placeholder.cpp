// Keeps the testing library non-empty before any shared helper exists.
namespace sendlogs_testing { int placeholder = 0; }
