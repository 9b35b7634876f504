// The GUI library needs at least one source of its own while its windows are being written.
namespace corvalis::gui {
void linkAnchor() {}
} // namespace corvalis::gui
