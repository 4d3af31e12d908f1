// Placeholder until the simulator lands.
namespace prowidget_sim {}
