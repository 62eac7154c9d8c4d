# SPDX-License-Identifier: GPL-3.0-or-later
'''A small GeoClue2 stand-in for python3-dbusmock (system bus).

Parameters: latitude, longitude, accuracy (defaults 52.52, 13.405, 65.0) and
denied (bool): when true, GetClient and Start refuse with AccessDenied, as
GeoClue does without an agent or with location services switched off.
Start() publishes one Location object and emits LocationUpdated at once.
'''
import time

import dbus

from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.GeoClue2'
MAIN_OBJ = '/org/freedesktop/GeoClue2/Manager'
MAIN_IFACE = 'org.freedesktop.GeoClue2.Manager'
SYSTEM_BUS = True

CLIENT_IFACE = 'org.freedesktop.GeoClue2.Client'
LOCATION_IFACE = 'org.freedesktop.GeoClue2.Location'
CLIENT_PATH = '/org/freedesktop/GeoClue2/Client/1'


def _deny():
    raise dbus.exceptions.DBusException('Location services are disabled',
                                        name='org.freedesktop.DBus.Error.AccessDenied')


def load(mock, parameters):
    mock.geo = {
        'latitude': float(parameters.get('latitude', 52.52)),
        'longitude': float(parameters.get('longitude', 13.405)),
        'accuracy': float(parameters.get('accuracy', 65.0)),
        'denied': bool(parameters.get('denied', False)),
        'fixes': 0,
    }
    mock.AddProperties(MAIN_IFACE, {'InUse': dbus.Boolean(False), 'AvailableAccuracyLevel': dbus.UInt32(8)})
    mock.AddMethod(MAIN_IFACE, 'GetClient', '', 'o', 'ret = self.get_client()')
    mock.get_client = lambda: _get_client(mock)


def _get_client(manager):
    if manager.geo['denied']:
        _deny()
    if CLIENT_PATH not in mockobject.objects:
        manager.AddObject(CLIENT_PATH, CLIENT_IFACE, {
            'Location': dbus.ObjectPath('/'),
            'DistanceThreshold': dbus.UInt32(0),
            'TimeThreshold': dbus.UInt32(0),
            'DesktopId': dbus.String(''),
            'RequestedAccuracyLevel': dbus.UInt32(0),
            'Active': dbus.Boolean(False),
        }, [
            ('Start', '', '', 'self.start_client()'),
            ('Stop', '', '', ''),
        ])
        client = mockobject.objects[CLIENT_PATH]
        client.start_client = lambda: _start(manager, client)
    return dbus.ObjectPath(CLIENT_PATH)


def _start(manager, client):
    geo = manager.geo
    if geo['denied']:
        _deny()
    geo['fixes'] += 1
    path = '/org/freedesktop/GeoClue2/Location/%d' % geo['fixes']
    now = time.time()
    manager.AddObject(path, LOCATION_IFACE, {
        'Latitude': dbus.Double(geo['latitude']),
        'Longitude': dbus.Double(geo['longitude']),
        'Accuracy': dbus.Double(geo['accuracy']),
        'Timestamp': dbus.Struct((dbus.UInt64(int(now)), dbus.UInt64(int((now % 1) * 1e6))), signature='tt'),
    }, [])
    old = client.props[CLIENT_IFACE]['Location']
    client.props[CLIENT_IFACE]['Location'] = dbus.ObjectPath(path)
    client.props[CLIENT_IFACE]['Active'] = dbus.Boolean(True)
    client.EmitSignal(CLIENT_IFACE, 'LocationUpdated', 'oo', [old, dbus.ObjectPath(path)])
