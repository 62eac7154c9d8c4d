# SPDX-License-Identifier: GPL-3.0-or-later
'''What a real GeoClue needs around it in the integration test: a GPS
receiver, as NMEA sentences on a Unix socket GeoClue connects to, and a
location agent registered for the user (GeoClue keeps GetClient waiting until
one is). Usage: geoclue_helper.py BUS_ADDRESS SOCKET LATITUDE LONGITUDE.
Prints "listening" once the socket is up, "agent ready" once GeoClue took the
agent; exits when a write to GeoClue fails or after 20 seconds.
'''
import os
import socket
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

AGENT_IFACE = 'org.freedesktop.GeoClue2.Agent'


def sentence(body):
    checksum = 0
    for character in body:
        checksum ^= ord(character)
    return ('$%s*%02X\r\n' % (body, checksum)).encode()


def nmea_angle(value, width):
    degrees = int(abs(value))
    return '%0*d%07.4f' % (width, degrees, (abs(value) - degrees) * 60)


class Agent(dbus.service.Object):
    @dbus.service.method(AGENT_IFACE, in_signature='su', out_signature='bu')
    def AuthorizeApp(self, desktop_id, level):
        return True, level

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return dbus.UInt32(8)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'MaxAccuracyLevel': dbus.UInt32(8)}


def main():
    address, path, latitude, longitude = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
    DBusGMainLoop(set_as_default=True)
    if os.path.exists(path):
        os.unlink(path)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(1)
    print('listening', flush=True)
    bus = dbus.bus.BusConnection(address)
    agent = Agent(bus, '/org/freedesktop/GeoClue2/Agent')
    loop = GLib.MainLoop()
    clients = []

    def register():
        if not bus.name_has_owner('org.freedesktop.GeoClue2'):
            return True
        manager = bus.get_object('org.freedesktop.GeoClue2', '/org/freedesktop/GeoClue2/Manager')
        # GeoClue reads the agent's properties before it answers: the call
        # must not block the loop that answers them.
        manager.AddAgent('corvane-test-agent', dbus_interface='org.freedesktop.GeoClue2.Manager',
                         reply_handler=lambda: print('agent ready', flush=True),
                         error_handler=lambda error: print('agent refused:', error, flush=True))
        return False

    def accept(source, condition):
        connection, _ = server.accept()
        clients.append(connection)
        return True

    def feed():
        now = time.gmtime()
        fix = sentence('GPGGA,%s.00,%s,%s,%s,%s,1,08,0.9,545.4,M,46.9,M,,' % (
            time.strftime('%H%M%S', now), nmea_angle(latitude, 2), 'N' if latitude >= 0 else 'S',
            nmea_angle(longitude, 3), 'E' if longitude >= 0 else 'W'))
        for connection in list(clients):
            try:
                connection.sendall(fix)
            except OSError:
                clients.remove(connection)
                loop.quit()
        return True

    GLib.timeout_add(50, register)
    GLib.io_add_watch(server.fileno(), GLib.IO_IN, accept)
    GLib.timeout_add(200, feed)
    GLib.timeout_add_seconds(20, loop.quit)
    loop.run()
    del agent


main()
