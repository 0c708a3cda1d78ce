# Window tests: the real application with a throwaway user, under Xvfb
# driven through the keyboard and the accessibility bus, and under a headless
# Wayland compositor (weston) through the accessibility bus alone. They need
# root (to make the user) and skip without it; each one owns 127.0.0.1:7810.
# A run takes well under a minute; the long time-out only leaves room to wait for
# the port when other programs on the machine hold it.
if(NOT TARVO_BUILD_APP)
  return() # nothing to drive
endif()
set(TARVO_E2E_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TARVO_E2E_PYTHON /usr/bin/python3) # Debian's, which has the accessibility bindings

function(tarvo_e2e_test name file)
  add_test(NAME ${name}
           COMMAND ${TARVO_E2E_PYTHON} ${TARVO_E2E_DIR}/harness.py --bundle ${TARVO_BUNDLE_DIR}
                   --budget 580 --lock-wait 300 ${ARGN} ${TARVO_E2E_DIR}/${file})
  set_tests_properties(${name} PROPERTIES
    LABELS e2e RESOURCE_LOCK port7810 TIMEOUT 600 SKIP_RETURN_CODE 77)
endfunction()

tarvo_e2e_test(e2e_window test_window.py)
tarvo_e2e_test(e2e_webview test_webview.py --backend ${TARVO_E2E_DIR}/testapp/app)
tarvo_e2e_test(e2e_page test_page.py --backend ${TARVO_E2E_DIR}/testapp/app)
tarvo_e2e_test(e2e_quit test_quit.py)
tarvo_e2e_test(e2e_token test_token.py)
tarvo_e2e_test(e2e_wayland_window test_wayland_window.py --display wayland)
tarvo_e2e_test(e2e_wayland_quit test_quit.py --display wayland)
tarvo_e2e_test(e2e_status test_status.py --backend ${TARVO_E2E_DIR}/testapp/app)
tarvo_e2e_test(e2e_desktop test_desktop.py --backend ${TARVO_E2E_DIR}/testapp/app
               --locale de_DE.UTF-8)
tarvo_e2e_test(e2e_recovery test_recovery.py --backend ${TARVO_E2E_DIR}/testapp/app)
# Two throwaway users: the application's, and another who wants the port.
tarvo_e2e_test(e2e_squatter test_squatter.py --squatter)

# The fault suite: the application killed, terminated and interrupted during
# its bring-up and after it, against the stand-in backend switched never to
# watch its parent. Its own label, `faults`, runs it alone; each test takes a
# few minutes, so the session and the runner get more time than a window test.
function(tarvo_fault_test name file)
  add_test(NAME ${name}
           COMMAND ${TARVO_E2E_PYTHON} ${TARVO_E2E_DIR}/harness.py --bundle ${TARVO_BUNDLE_DIR}
                   --budget 880 --lock-wait 300 --timeout 560
                   --backend ${TARVO_E2E_DIR}/testapp/app ${TARVO_E2E_DIR}/${file})
  set_tests_properties(${name} PROPERTIES
    LABELS "e2e;faults" RESOURCE_LOCK port7810 TIMEOUT 900 SKIP_RETURN_CODE 77)
endfunction()

tarvo_fault_test(e2e_fault_kill test_fault_kill.py)
tarvo_fault_test(e2e_fault_signals test_fault_signals.py)
tarvo_fault_test(e2e_fault_restarts test_fault_restarts.py)
tarvo_fault_test(e2e_fault_family test_fault_family.py)
