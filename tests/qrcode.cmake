# The QR code test draws the SVG with Qt SVG and reads the modules back.
target_link_libraries(tst_qrcode PRIVATE Qt5::Svg)
