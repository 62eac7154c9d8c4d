# SPDX-License-Identifier: GPL-3.0-or-later
'''BlueZ stand-in for an LE scanner: python3-dbusmock's bluez5 template with the fixes below (0.28.x, Debian 12).

Load with:  python3 -m dbusmock --system -t PATH/TO/bluez5_le.py

Differences from the stock 'bluez5' template:
  * StartDiscovery works without a prior SetDiscoveryFilter (stock raises KeyError),
    fails with org.bluez.Error.NotReady when the adapter is not powered, and does not
    fake 'Discoverable'.
  * Device ManufacturerData/ServiceData/AdvertisingFlags/AdvertisingData have BlueZ's
    real types (stock exports aa{qv}, aa{sv}, aay, aa{yv}).
  * org.bluez.Mock.SetPowered(adapter, bool): like bluetoothd, powering off also ends
    discovery (Discovering=false).
  * org.bluez.Mock.Advertise(adapter, address, rssi, props): emulates one advertising
    report the way bluetoothd 5.66 update_found_devices() turns it into D-Bus:
      - ignored unless the adapter is Discovering;
      - new address -> Device1 object + InterfacesAdded;
      - RSSI PropertiesChanged only if |delta| >= 8 dBm, unless a discovery filter was
        set (then delta threshold 0: every report emits RSSI, even unchanged);
      - Name emitted when changed; all changes in one PropertiesChanged.
    props may contain Name (s).
  * org.bluez.Mock.FailDiscovery(adapter, error_name, message): from now on StartDiscovery
    answers with that error, as bluetoothd does when the controller refuses (Failed);
    an empty name ends it.
  * org.bluez.Mock.EmitMistypedRSSI(adapter, address): a PropertiesChanged of the device whose
    RSSI is an int32, then one where it is a string (bluetoothd always sends int16).
'''
import dbus

from dbusmock import OBJECT_MANAGER_IFACE, mockobject
from dbusmock.templates.bluez5 import *  # noqa: F401,F403  (BUS_NAME, MAIN_OBJ, load, ...)
from dbusmock.templates import bluez5 as _base

RSSI_THRESHOLD = 8


def _emit_changed(obj, iface, changed):
    if changed:
        obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                       [iface, dbus.Dictionary(changed, signature='sv'), dbus.Array([], signature='s')])


@dbus.service.method(ADAPTER_IFACE, in_signature='a{sv}', out_signature='')
def SetDiscoveryFilter(adapter, discovery_filter):
    # BlueZ: empty dict removes the filter; DuplicateData defaults to false in 5.66 code
    adapter.le_filter = dict(discovery_filter) if len(discovery_filter) else None


@dbus.service.method(ADAPTER_IFACE, in_signature='', out_signature='')
def StartDiscovery(adapter):
    if getattr(adapter, 'discovery_error', None):
        raise dbus.exceptions.DBusException(adapter.discovery_error[1], name=adapter.discovery_error[0])
    if not adapter.props[ADAPTER_IFACE]['Powered']:
        raise dbus.exceptions.DBusException('Resource Not Ready', name='org.bluez.Error.NotReady')
    adapter.filtered = getattr(adapter, 'le_filter', None) is not None
    if not adapter.props[ADAPTER_IFACE]['Discovering']:
        adapter.props[ADAPTER_IFACE]['Discovering'] = dbus.Boolean(True, variant_level=1)
        _emit_changed(adapter, ADAPTER_IFACE, {'Discovering': dbus.Boolean(True, variant_level=1)})


@dbus.service.method(ADAPTER_IFACE, in_signature='', out_signature='')
def StopDiscovery(adapter):
    if not adapter.props[ADAPTER_IFACE]['Discovering']:
        raise dbus.exceptions.DBusException('No discovery started', name='org.bluez.Error.Failed')
    adapter.props[ADAPTER_IFACE]['Discovering'] = dbus.Boolean(False, variant_level=1)
    _emit_changed(adapter, ADAPTER_IFACE, {'Discovering': dbus.Boolean(False, variant_level=1)})


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='ss', out_signature='s')
def AddAdapter(self, device_name, system_name):
    path = _base.AddAdapter(self, device_name, system_name)
    adapter = mockobject.objects[path]
    for name, fn in (('StartDiscovery', StartDiscovery), ('StopDiscovery', StopDiscovery),
                     ('SetDiscoveryFilter', SetDiscoveryFilter)):
        adapter.AddMethod(ADAPTER_IFACE, name, fn._dbus_in_signature, '', fn)
    adapter.le_filter = None
    return path


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='sb', out_signature='')
def SetPowered(self, device_name, powered):
    adapter = mockobject.objects['/org/bluez/' + device_name]
    p = adapter.props[ADAPTER_IFACE]
    changed = {'Powered': dbus.Boolean(powered, variant_level=1)}
    if not powered and p['Discovering']:
        changed['Discovering'] = dbus.Boolean(False, variant_level=1)
    p.update(changed)
    _emit_changed(adapter, ADAPTER_IFACE, changed)


def _fix_types(props):
    props['ManufacturerData'] = dbus.Dictionary({}, signature='qv', variant_level=1)
    props['ServiceData'] = dbus.Dictionary({}, signature='sv', variant_level=1)
    props['AdvertisingFlags'] = dbus.Array([], signature='y', variant_level=1)
    props['AdvertisingData'] = dbus.Dictionary({}, signature='yv', variant_level=1)


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='sss', out_signature='s')
def AddDevice(self, adapter_device_name, device_address, alias):
    # Stock AddDevice announces wrong types in InterfacesAdded; build it ourselves.
    path = '/org/bluez/%s/dev_%s' % (adapter_device_name, device_address.replace(':', '_').upper())
    manager = mockobject.objects['/']
    real_emit = manager.EmitSignal
    manager.EmitSignal = lambda *a, **k: None          # swallow stock InterfacesAdded
    try:
        _base.AddDevice(self, adapter_device_name, device_address, alias)
    finally:
        del manager.EmitSignal
    dev = mockobject.objects[path]
    _fix_types(dev.props[DEVICE_IFACE])
    real_emit(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
              [dbus.ObjectPath(path), {DEVICE_IFACE: dev.props[DEVICE_IFACE]}])
    return path


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='ssna{sv}', out_signature='b')
def Advertise(self, adapter_device_name, address, rssi, adv):
    '''Returns True if the report reached D-Bus (adapter discovering).'''
    adapter = mockobject.objects['/org/bluez/' + adapter_device_name]
    if not adapter.props[ADAPTER_IFACE]['Discovering']:
        return False
    path = '/org/bluez/%s/dev_%s' % (adapter_device_name, address.replace(':', '_').upper())
    flt = adapter.le_filter if getattr(adapter, 'filtered', False) else None
    name = adv.get('Name')
    if path not in mockobject.objects:
        props = {
            'Address': dbus.String(address, variant_level=1),
            'AddressType': dbus.String('random', variant_level=1),
            'Alias': dbus.String(name if name else address.replace(':', '-'), variant_level=1),
            'Adapter': dbus.ObjectPath('/org/bluez/' + adapter_device_name, variant_level=1),
            'Paired': dbus.Boolean(False, variant_level=1), 'Bonded': dbus.Boolean(False, variant_level=1),
            'Trusted': dbus.Boolean(False, variant_level=1), 'Blocked': dbus.Boolean(False, variant_level=1),
            'Connected': dbus.Boolean(False, variant_level=1), 'LegacyPairing': dbus.Boolean(False, variant_level=1),
            'ServicesResolved': dbus.Boolean(False, variant_level=1),
            'UUIDs': dbus.Array([], signature='s', variant_level=1),
            'RSSI': dbus.Int16(rssi, variant_level=1),
        }
        if name:
            props['Name'] = dbus.String(name, variant_level=1)
        adapter.AddObject(path, DEVICE_IFACE, props, [])   # AddObject does not emit InterfacesAdded
        mockobject.objects['/'].EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                                           [dbus.ObjectPath(path), {DEVICE_IFACE: props}])
        return True
    dev = mockobject.objects[path]
    p = dev.props[DEVICE_IFACE]
    changed = {}
    old = int(p.get('RSSI', 0))
    if old == 0 or abs(old - rssi) >= (0 if flt else RSSI_THRESHOLD):
        changed['RSSI'] = dbus.Int16(rssi, variant_level=1)
    if name and str(p.get('Name', '')) != name:
        changed['Name'] = dbus.String(name, variant_level=1)
        if str(p.get('Alias', '')) == address.replace(':', '-'):
            changed['Alias'] = dbus.String(name, variant_level=1)
    p.update(changed)
    _emit_changed(dev, DEVICE_IFACE, changed)
    return True


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='sss', out_signature='')
def FailDiscovery(self, adapter_device_name, error_name, message):
    adapter = mockobject.objects['/org/bluez/' + adapter_device_name]
    adapter.discovery_error = (error_name, message) if error_name else None


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='ss', out_signature='')
def EmitMistypedRSSI(self, adapter_device_name, address):
    dev = mockobject.objects['/org/bluez/%s/dev_%s' % (adapter_device_name, address.replace(':', '_').upper())]
    _emit_changed(dev, DEVICE_IFACE, {'RSSI': dbus.Int32(-40, variant_level=1)})
    _emit_changed(dev, DEVICE_IFACE, {'RSSI': dbus.String('-40', variant_level=1)})
