# SPDX-License-Identifier: GPL-3.0-or-later
'''A small GeoClue2 stand-in for python3-dbusmock (system bus), refusing and
quitting where GeoClue 2.6 does.

Parameters: latitude, longitude, accuracy (defaults 52.52, 13.405, 65.0);
denied (bool): GetClient still answers, Start refuses with AccessDenied, as
GeoClue's agent rules do without an agent or with location services off;
idle_exit (seconds, default none): the process exits that long after no
client is started, as GeoClue does after its inactivity time-out, dropping
its name and every client.
Each GetClient makes a new client; Start publishes one Location object and
emits LocationUpdated at once.
'''
import os
import time

import dbus
from gi.repository import GLib

from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.GeoClue2'
MAIN_OBJ = '/org/freedesktop/GeoClue2/Manager'
MAIN_IFACE = 'org.freedesktop.GeoClue2.Manager'
SYSTEM_BUS = True

CLIENT_IFACE = 'org.freedesktop.GeoClue2.Client'
LOCATION_IFACE = 'org.freedesktop.GeoClue2.Location'


def load(mock, parameters):
    mock.geo = {
        'latitude': float(parameters.get('latitude', 52.52)),
        'longitude': float(parameters.get('longitude', 13.405)),
        'accuracy': float(parameters.get('accuracy', 65.0)),
        'denied': bool(parameters.get('denied', False)),
        'idle_exit': parameters.get('idle_exit'),
        'clients': 0,
        'started': set(),
        'fixes': 0,
        'timer': None,
    }
    mock.AddProperties(MAIN_IFACE, {'InUse': dbus.Boolean(False), 'AvailableAccuracyLevel': dbus.UInt32(8)})
    mock.AddMethod(MAIN_IFACE, 'GetClient', '', 'o', 'ret = self.get_client()')
    mock.get_client = lambda: _get_client(mock)
    _idle(mock.geo)


def _idle(geo):
    if geo['idle_exit'] is None or geo['started'] or geo['timer'] is not None:
        return
    geo['timer'] = GLib.timeout_add(int(float(geo['idle_exit']) * 1000), lambda: os._exit(0))


def _busy(geo):
    if geo['timer'] is not None:
        GLib.source_remove(geo['timer'])
        geo['timer'] = None


def _get_client(manager):
    geo = manager.geo
    geo['clients'] += 1
    path = '/org/freedesktop/GeoClue2/Client/%d' % geo['clients']
    manager.AddObject(path, CLIENT_IFACE, {
        'Location': dbus.ObjectPath('/'),
        'DistanceThreshold': dbus.UInt32(0),
        'TimeThreshold': dbus.UInt32(0),
        'DesktopId': dbus.String(''),
        'RequestedAccuracyLevel': dbus.UInt32(0),
        'Active': dbus.Boolean(False),
    }, [
        ('Start', '', '', 'self.start_client()'),
        ('Stop', '', '', 'self.stop_client()'),
    ])
    client = mockobject.objects[path]
    client.start_client = lambda: _start(manager, client, path)
    client.stop_client = lambda: _stop(manager, client, path)
    return dbus.ObjectPath(path)


def _start(manager, client, path):
    geo = manager.geo
    if geo['denied']:
        raise dbus.exceptions.DBusException("'corvane' disallowed, no agent for UID 0",
                                            name='org.freedesktop.DBus.Error.AccessDenied')
    _busy(geo)
    geo['started'].add(path)
    geo['fixes'] += 1
    location = '/org/freedesktop/GeoClue2/Location/%d' % geo['fixes']
    now = time.time()
    manager.AddObject(location, LOCATION_IFACE, {
        'Latitude': dbus.Double(geo['latitude']),
        'Longitude': dbus.Double(geo['longitude']),
        'Accuracy': dbus.Double(geo['accuracy']),
        'Timestamp': dbus.Struct((dbus.UInt64(int(now)), dbus.UInt64(int((now % 1) * 1e6))), signature='tt'),
    }, [])
    old = client.props[CLIENT_IFACE]['Location']
    client.props[CLIENT_IFACE]['Location'] = dbus.ObjectPath(location)
    client.props[CLIENT_IFACE]['Active'] = dbus.Boolean(True)
    client.EmitSignal(CLIENT_IFACE, 'LocationUpdated', 'oo', [old, dbus.ObjectPath(location)])


def _stop(manager, client, path):
    geo = manager.geo
    geo['started'].discard(path)
    client.props[CLIENT_IFACE]['Active'] = dbus.Boolean(False)
    _idle(geo)
