# The fleet link: the bridge template, its generator and the example ACLs, installed
# inactive under share/quellan/fleet. The integrator turns the bridge on by running
# quellan-fleet-bridge --output /etc/mosquitto/conf.d/quellan-fleet.conf.
include(GNUInstallDirs)
set(QUELLAN_FLEET_DIR ${CMAKE_INSTALL_DATADIR}/quellan/fleet)
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/quellan-fleet-bridge DESTINATION ${QUELLAN_FLEET_DIR})
install(FILES
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/bridge.conf.in
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/onboard.acl
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/depot.acl
    ${CMAKE_CURRENT_LIST_DIR}/mosquitto/depot.conf
    DESTINATION ${QUELLAN_FLEET_DIR}/mosquitto)
